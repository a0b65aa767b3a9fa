// The names of the per-user profile: HKEY_CURRENT_USER\Software\Kiva Dongle\<executable>\<section>.
#pragma once

// The registry key every profile value lives under.
constexpr char PROFILE_REGISTRY_KEY[] = "Kiva Dongle";

// The adapter's layout.
constexpr char PROFILE_SECTION_DONGLE[] = "VGA DONGLE";
constexpr char PROFILE_DISP_STATE[] = "DispState";
constexpr char PROFILE_WIDTH[] = "Width";
constexpr char PROFILE_HEIGHT[] = "Height";
constexpr char PROFILE_BIT_DEPTH[] = "BitDepth";
constexpr char PROFILE_ROTATION_STATE[] = "RotationState";
constexpr char PROFILE_FIRST_RUN[] = "FirstRun";
constexpr char PROFILE_FREQUENCY[] = "Frequence";
// What a missing "DispState" reads as: extended.
constexpr int PROFILE_DISP_STATE_DEFAULT = 2;

// The system display's resolution from before mirroring lowered it.
constexpr char PROFILE_SECTION_CONFIG[] = "USBVGACONFIG";
constexpr char PROFILE_SYS_X[] = "SysX";
constexpr char PROFILE_SYS_Y[] = "SysY";
constexpr char PROFILE_SYS_Z[] = "SysZ";
