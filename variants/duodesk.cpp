// duodesk: the adapter model with USB product id 7300.
#include "variants/variant.h"

const DuodeskVariant g_variant = {
    .exeName = "duodesk",
    .usbId = "vid_5a1e&pid_7300",
    .dispDevId = "ZTK\\USB2VGA",
    .mirDevId = "ZTK\\USB2VGAM",
    .trayTip = "USB 2.0 VGA DEVICE-1",
    .instanceName = "KIVA 7300",
    .traceRotationVerbs = true,
};
