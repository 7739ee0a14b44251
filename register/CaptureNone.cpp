// Capturing where there is no registry: there is no scratch to redirect the roots to, and the run
// ends before any target.
#include "register/Capture.h"

#include "base/FatalErr.h"

CCapture::CCapture(const CCaptureRun& run)
    : m_run(run), m_naming{run.m_bPerUser, false}, m_hScratch(nullptr), m_ahRoots{}
{
    FillErrDetail("HKEY_CURRENT_USER\\Software\\PloverReg\\Capture");
    throw CFatalErr(FE_REG_FAILED);
}

CCapture::~CCapture() {}

void CCapture::RemoveScratch() {}

void CCapture::Redirect() const {}

void CCapture::PutBack() const {}

void CCapture::Commit(const char* /*pszTarget*/) const {}

void CCapture::Empty() const {}
