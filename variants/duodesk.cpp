// duodesk: the adapter model with USB product id 7300.
#include "variants/variant.h"

const DuodeskVariant g_variant = {
    "duodesk", "vid_5a1e&pid_7300", "ZTK\\USB2VGA", "ZTK\\USB2VGAM", "USB 2.0 VGA DEVICE-1", "KIVA 7300",
    true,
};
