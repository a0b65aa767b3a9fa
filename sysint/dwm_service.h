// Control of the desktop composition service around the driver's display changes.
#pragma once

// Starts (bRun) or stops the composition service "UxSms". True when the start or the stop was carried
// out; every failure is traced and answered with false. The Windows version is not looked at: where there
// is no such service (before Vista) opening it fails.
bool RunDwmService(bool bRun);

// Called before the driver is opened and before the adapter's display joins the desktop: the driver
// needs composition out of the way and a pause of 2000 ms before it takes over. The pause is kept even
// when the stop failed (the service may be stopping already, or not exist at all).
void StopDwmAndWait();
