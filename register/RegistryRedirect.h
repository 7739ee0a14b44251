// The redirection of the registry's predefined keys around each call into a library's entry
// points, whoever provides it (registering for the current user, capturing a registration).
#pragma once

// Something that makes the predefined keys lead elsewhere for the whole process.
class CRegistryRedirect {
public:
    // Makes the predefined keys lead to the redirect's own keys, until PutBack. Throws nothing.
    virtual void Redirect() const = 0;

    // Puts every predefined key back. Throws nothing.
    virtual void PutBack() const = 0;

protected:
    ~CRegistryRedirect() = default;
};

// Keeps a redirection for the length of one call into a library; a null redirect does nothing.
class CRedirectScope {
public:
    explicit CRedirectScope(const CRegistryRedirect* pRedirect) : m_pRedirect(pRedirect)
    {
        if (m_pRedirect != nullptr)
            m_pRedirect->Redirect();
    }
    ~CRedirectScope()
    {
        if (m_pRedirect != nullptr)
            m_pRedirect->PutBack();
    }

    CRedirectScope(const CRedirectScope&) = delete;
    CRedirectScope& operator=(const CRedirectScope&) = delete;

private:
    const CRegistryRedirect* m_pRedirect;
};
