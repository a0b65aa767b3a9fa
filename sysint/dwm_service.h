// Control of the desktop composition service around the driver's display changes.
#pragma once

// Called before the driver is opened and before the adapter's display joins the desktop: the driver
// needs composition out of the way and a pause of 2000 ms before it takes over.
void StopDwmAndWait();
