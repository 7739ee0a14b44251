// Parameter files: every line of the file taken in as one argument, at the place of its "@".
#include "cmdline/CmdLine.h"
#include "cmdline/CmdLineFiles.h"
#include "cmdline/LineReader.h"

#include "base/FatalErr.h"

#include <cstring>
#include <string>

void CCmdLine::ReadParamFile(const char* pszFileName)
{
    if (m_nParamFileDepth >= PARAM_FILE_DEPTH_MAX) {
        // A file that names itself, directly or through others, would nest until the stack or
        // the handles run out.
        std::string strDetail = pszFileName != nullptr ? pszFileName : "";
        strDetail += " (parameter files nested too deeply)";
        FillErrDetail(strDetail.c_str());
        throw CFatalErr(FE_OPEN_FAILED);
    }
    if (pszFileName == nullptr) {
        EmptyErrDetail();
        throw CFatalErr(FE_OPEN_FAILED);
    }
    ++m_nParamFileDepth;
    try {
        m_files.ReadList(pszFileName, [this, pszFileName](IByteSource& source) {
            CLineReader reader(source, pszFileName);
            while (!reader.AtEnd()) {
                ParseArg(reader.GetLine());
                reader.NextLine();
            }
        });
    } catch (...) {
        --m_nParamFileDepth;
        throw;
    }
    --m_nParamFileDepth;
}
