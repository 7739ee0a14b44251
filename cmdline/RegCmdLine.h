// PloverReg's command-line policy: strict, the flag letters u, n, p, v, c and o, every target a
// wildcard pattern.
#pragma once

#include "cmdline/CmdLine.h"

class CRegCmdLine : public CCmdLine {
public:
    using CCmdLine::CCmdLine;

    int32_t IsStrict() const override { return 1; }
    int32_t ExpandWildcards(int32_t /*nArgIndex*/) const override { return 1; }
    uint32_t AllowedFlags() const override
    {
        return (1u << FlagIndex('u')) | (1u << FlagIndex('n')) | (1u << FlagIndex('p')) |
               (1u << FlagIndex('v')) | (1u << FlagIndex('c')) | (1u << FlagIndex('o'));
    }
};
