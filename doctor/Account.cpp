#include "doctor/Account.h"

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "win/AnsiText.h"
#include "win/UniqueHandle.h"

namespace doctor {

Account currentAccount() {
    Account account;
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) return account;
    const win::UniqueHandle token(opened);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        account.elevated = elevation.TokenIsElevated != 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    if (!::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return account;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    account.system = ::IsWellKnownSid(sid, WinLocalSystemSid) != FALSE;
    wchar_t* text = nullptr;
    if (::ConvertSidToStringSidW(sid, &text)) {
        account.sid = win::narrow(text);
        ::LocalFree(text);
    }
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    account.name = ::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)
                       ? win::narrow(std::wstring(domain) + L"\\" + name)
                       : account.sid;
    return account;
}

std::string whyNoRepair(const Account& account) {
    if (!account.elevated && !account.system) return {};
    return "--repair is refused: it runs " + std::string(account.system ? "as SYSTEM" : "elevated") + " (" +
           account.name +
           "), where it would repair that account's own settings, not those of the user whose Office is "
           "broken. Run it as that user, without elevation: it needs no administrator's rights.";
}

}  // namespace doctor
