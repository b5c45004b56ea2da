#pragma once
// The host's resource strings that packages read: registry key paths and the like. They
// are the host's to choose; a package uses them by name and never spells the value itself.

namespace kpr {

// The machine-wide key of the suite's client settings, under which "WorkDir" (the folder
// for generated files) and "SMTPCAFile" (extra authorities trusted for mail servers) live.
// On Linux, with the registry's defaults, the section [SiteWebCli] of /etc/xdg/Kpr/Kpr.conf.
inline constexpr char16_t sSiteWebCliKey[] = u"SiteWebCli";

} // namespace kpr
