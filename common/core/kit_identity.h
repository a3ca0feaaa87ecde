// The kit's identity: its device set-up class and the ident that its INF file writes into the
// hardware key of every device it installs. The Cleanup Wizard's defaults, the demo program, the
// tests and the INF template (which the build writes from kit/korvawiz.tpl.in, reading this
// file) all take them from here, so that they cannot drift apart.
#pragma once

namespace korva {

constexpr char kKitClassGuidText[] = "{96e73b6e-7a5a-11d4-9f24-0080c82727f4}";
constexpr char kKitIdentValueName[] = "CleanupWizard_DeviceIdentString";
constexpr char kKitIdent[] = "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}";

// The last line of every message about missing kit files, in both programs.
constexpr char kReinstallLine[] = "Please reinstall the KORVA Development Kit.";

}  // namespace korva
