#pragma once
// Power states and the power manager's calls.
#include <cstdint>

namespace kernel {

enum SystemPower : std::uint32_t {
    PowerSystemUnspecified = 0,
    PowerSystemWorking = 1,
    PowerSystemSleeping1 = 2,
    PowerSystemSleeping2 = 3,
    PowerSystemSleeping3 = 4,
    PowerSystemHibernate = 5,
    PowerSystemShutdown = 6,
    PowerSystemMaximum = 7,
};

enum DevicePower : std::uint32_t {
    PowerDeviceUnspecified = 0,
    PowerDeviceD0 = 1,
    PowerDeviceD1 = 2,
    PowerDeviceD2 = 3,
    PowerDeviceD3 = 4,
    PowerDeviceMaximum = 5,
};

enum PowerStateType : std::uint32_t { SystemPowerState = 0, DevicePowerState = 1 };

union PowerState {
    SystemPower SystemState;
    DevicePower DeviceState;
};

enum PowerAction : std::uint32_t { PowerActionNone = 0, PowerActionSleep = 2,
                                   PowerActionHibernate = 3, PowerActionShutdown = 4 };

}  // namespace kernel
