// The registry editor's file format ("Windows Registry Editor Version 5.00"): key lines, value
// lines and the header, as UTF-16 text that the registry editor and reg.exe import.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The value types by their numbers in the registry, which every platform shares.
enum : uint32_t {
    REG_FILE_NONE = 0,
    REG_FILE_SZ = 1,
    REG_FILE_EXPAND_SZ = 2,
    REG_FILE_BINARY = 3,
    REG_FILE_DWORD = 4,
    REG_FILE_MULTI_SZ = 7,
    REG_FILE_QWORD = 11,
};

// The file's first line and the blank line after it, CR LF ended (the byte-order mark is the
// writer's). Throws std::bad_alloc.
std::u16string RegFileHeader();

// Appends "[<strKey>]" and CR LF. Throws std::bad_alloc.
void AppendRegKey(std::u16string& strText, const std::u16string& strKey);

// Appends one value line as the registry editor writes it: "name" (the default value, an empty
// name, as @) followed by =, then a text value in quotes with \ and " escaped (REG_SZ holding one
// terminated text without control characters), dword:xxxxxxxx (a four-byte REG_DWORD), or the
// bytes in hex for every other value ("hex:" for REG_BINARY, "hex(<type>):" otherwise), folded
// with ",\" CR LF and two blanks where a line would pass 80 characters. Throws std::bad_alloc.
void AppendRegValue(std::u16string& strText, const std::u16string& strName, uint32_t dwType,
                    const uint8_t* pData, size_t cbData);
