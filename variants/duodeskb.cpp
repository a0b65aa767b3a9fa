// duodeskb: the adapter model with USB product id 7304.
#include "variants/variant.h"

const DuodeskVariant g_variant = {
    .exeName = "duodeskb",
    .usbId = "vid_5a1e&pid_7304",
    .dispDevId = "ZTK\\USBVGA04",
    .mirDevId = "ZTK\\USBVGA04M",
    .trayTip = "USB 2.0 VGA DEVICE-3",
    .instanceName = "KIVA 7304",
    .traceRotationVerbs = false,
};
