#include "installer/instaid.h"

#include "msi/module.h"
#include "msi/session.h"

// The result is always success: the setup must never fail on this probe.
extern "C" std::uint32_t IsHrDispatchExported(std::uint32_t hInstall) {
    constexpr const char* mailLibrary = "Mapi32.dll";
    try {
        // First only check that the library is there, without running its start-up code.
        msi::Module probe = msi::loadModuleWithoutInit(mailLibrary);
        if (!probe.loaded()) return 0;
        probe.free();

        msi::Module mail = msi::loadModule(mailLibrary);
        if (!mail.loaded()) return 0;
        if (mail.symbol("HrDispatchNotifications@4"))
            msi::MsiSetProperty(hInstall, "HRDISPATCHEXPORTED", "True");
    } catch (...) {
        // Nothing may escape into the installer.
    }
    return 0;
}
