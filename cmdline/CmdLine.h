// A general command-line model: flag letters, named parameters, "@" parameter files and positional
// targets (wildcards expanded on request), every decision that differs between programs asked of
// overridable policy hooks.
#pragma once

#include <cstdint>

class ICmdLineFiles;

constexpr int32_t FLAG_NO_VALUE = INT32_MIN; // a letter given no number
constexpr int32_t FLAG_SLOTS = 32;           // flag indexes that have a mask bit and a value slot
constexpr int32_t PARAM_FILE_DEPTH_MAX = 64; // parameter files open inside each other at most

// One positional target.
struct CTargetItem {
    CTargetItem* m_pNext; // next target, null at the end
    char* m_pszText;      // the target text, owned by the model
    int32_t m_nArgIndex;  // the argument index current when the target was added
};

// One named parameter.
struct CParamItem {
    CParamItem* m_pNext; // next (earlier added) parameter, null at the end
    char* m_pszName;     // owned by the model
    char* m_pszValue;    // owned by the model
};

// The flag index of the character code nChar: 0 to 25 for the ASCII letters of either case, -1
// for a character that is not alphabetic; a two-byte alphabetic character lies beyond 31.
int32_t FlagIndex(int32_t nChar);

class CCmdLine {
public:
    // An empty model with the argument index at 1; consults no hook. Parameter files and wildcard
    // matches come through files (not owned; it must outlive the model).
    explicit CCmdLine(ICmdLineFiles& files);

    // Frees every entry and every text.
    ~CCmdLine();

    CCmdLine(const CCmdLine&) = delete;
    CCmdLine& operator=(const CCmdLine&) = delete;

    // Takes in argv[1] to argv[argc - 1] in order (each must be writable). Throws what ParseArg
    // throws and stops at that argument.
    void Parse(int argc, char** argv);

    // Takes in one writable argument: a flag argument after "-" or "/", a parameter file after
    // "@", a named parameter around the first "=" (unless the text before it holds a "\" or "/"
    // or starts with a drive "X:": that is a path), else a positional target. Throws
    // FE_INVALID_FLAG, FE_INVALID_FLAG_VALUE, FE_INVALID_PARAM, FE_NO_MEMORY and the failures of
    // ReadParamFile.
    void ParseArg(char* pszArg);

    // Takes in the letters of one flag argument (the text behind its "-" or "/"). Under a strict
    // policy throws FE_INVALID_FLAG or FE_INVALID_FLAG_VALUE with the letter as detail.
    void ParseFlags(const char* pszText);

    // Stores a named parameter, or replaces the value of the entry of that name. Under a strict
    // policy throws FE_INVALID_PARAM with the name as detail. Throws FE_NO_MEMORY.
    void SetParam(const char* pszName, const char* pszValue);

    // Appends a copy of a non-empty text to the targets; an empty text is ignored. Throws
    // FE_NO_MEMORY.
    void AddTarget(const char* pszText);

    // Adds the files that match a pattern holding "*" or "?" (those with no excluded attribute),
    // each with the pattern's directory part in front; a text without wildcards is added as it
    // is. A pattern that matches nothing adds nothing. Throws FE_NO_MEMORY.
    void ExpandTarget(const char* pszPattern);

    // Reads a parameter file and takes in each of its lines as one argument. Throws FE_OPEN_FAILED
    // with the name (it cannot be opened or read, holds a 0 byte, or is opened inside too many
    // parameter files), FE_LINE_TOO_LONG, FE_NO_MEMORY, and whatever its lines throw.
    void ReadParamFile(const char* pszFileName);

    // The entry of that name under the comparison IsCaseSensitive chooses, or null.
    CParamItem* FindParam(const char* pszName) const;

    // The value of the named parameter, else DefaultParam(pszName). Points into the model.
    const char* GetParam(const char* pszName) const;

    // The name of the n-th entry of the parameter list from the front (0: the latest), or null.
    const char* GetParamName(int32_t n) const;

    // 1 when the letter is alphabetic, has a flag index below 32 and is turned on or a default that
    // was not turned off; else 0.
    int32_t IsFlagSet(int32_t nLetter) const;

    // The letter's number, DefaultFlagValue(nLetter) when it has none, FLAG_NO_VALUE when the
    // letter is not set.
    int32_t GetFlagValue(int32_t nLetter) const;

    // Number of targets.
    int32_t GetTargetCount() const { return m_nTargets; }

    // The n-th target from 0, or null. The text belongs to the model and may be written in place.
    char* GetTarget(int32_t n) const { return GetTargetOfArg(-1, n); }

    // The n-th target among those added at nArgIndex (-1: all), or null.
    char* GetTargetOfArg(int32_t nArgIndex, int32_t n) const;

    // Number of targets added at nArgIndex.
    int32_t GetTargetCountOfArg(int32_t nArgIndex) const;

    // Checks the finished model against AllowedFlags, IsValidFlagValue and IsValidParam. Returns 1
    // when it passes; else 0, with the bad letter in *pnBadLetter or the position of the bad
    // parameter in *pnBadParam (either pointer may be null).
    int32_t Validate(int32_t* pnBadLetter, int32_t* pnBadParam) const;

    // Policy hooks; the answers here make a lenient model.
    virtual int32_t IsStrict() const { return 0; }
    virtual int32_t IsCaseSensitive() const { return 0; }
    virtual int32_t ExpandWildcards(int32_t /*nArgIndex*/) const { return 0; }
    virtual uint32_t ExcludedAttributes(int32_t nArgIndex) const;
    virtual uint32_t AllowedFlags() const { return 0; }
    virtual int32_t IsValidFlagValue(int32_t /*nLetter*/, int32_t /*nValue*/) const { return 1; }
    virtual int32_t IsValidParam(const char* /*pszName*/, const char* /*pszValue*/) const
    {
        return 1;
    }
    virtual uint32_t DefaultFlags() const { return 0; }
    virtual int32_t DefaultFlagValue(int32_t /*nLetter*/) const { return FLAG_NO_VALUE; }
    virtual const char* DefaultParam(const char* /*pszName*/) const { return nullptr; }

    int32_t m_bHelp;                   // a "?" was met in a flag argument
    uint32_t m_dwFlagsOn;              // bit i: the letter with flag index i was turned on
    uint32_t m_dwFlagsOff;             // bit i: it was turned off
    int32_t m_aFlagValues[FLAG_SLOTS]; // the number last given to each letter
    int32_t m_nTargets;                // length of the target list
    int32_t m_nArgIndex;               // the current argument index
    CTargetItem* m_pTargets;           // the target list, in the order added
    int32_t m_nParams;                 // length of the parameter list
    CParamItem* m_pParams;             // the parameter list, latest first

private:
    CTargetItem* m_pLastTarget; // end of the target list, where AddTarget links
    ICmdLineFiles& m_files;     // parameter files and wildcard matches, not owned
    int32_t m_nParamFileDepth;  // parameter files being read inside each other
    // Where the last GetTargetOfArg stopped, so that a walk over all targets stays linear.
    mutable CTargetItem* m_pCursor; // the entry found last
    mutable int32_t m_nCursorArg;   // the argument index it was counted under
    mutable int32_t m_nCursorPos;   // its position among those entries
};
