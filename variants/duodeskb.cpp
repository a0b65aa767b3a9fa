// duodeskb: the adapter model with USB product id 7304.
#include "variants/variant.h"

const DuodeskVariant g_variant = {
    "duodeskb", "vid_5a1e&pid_7304", "ZTK\\USBVGA04", "ZTK\\USBVGA04M", "USB 2.0 VGA DEVICE-3", "KIVA 7304",
    false,
};
