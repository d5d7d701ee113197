// The registry layout the installation writes and the update check reads:
// the assistant's settings key, the uninstall entry, the start-up value, and
// the server settings an earlier installation may have left.
#pragma once

#include <cstdint>
#include <string>

struct InstallContext;

// "Software\%s\Vaultrel\WebUI\%s\%x" of vendorKey, the alliance code and the
// bank id: with the empty vendorKey, "Software\\Vaultrel\WebUI\NAVRO\801".
std::string AssistantSettingsKey(const std::string& allianceCode, uint32_t bankId);
// "Software\Vaultrel\WebUI\" + alliance code.
std::string ServerSettingsKey(const std::string& allianceCode);
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\" + assistantName.
std::string UninstallKey();
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Run", in the 64-bit view.
inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kPublisher = "Tessmark科技股份有限公司";
// Values are read into buffers of this size (terminator included).
inline constexpr size_t kValueBufferSize = 260;

// Writes the settings key (Version, Path, BankID), the uninstall entry and
// the start-up value (only when autoStart is on; it is removed first). False
// when the uninstall entry or the start-up key cannot be opened or the
// start-up value cannot be written.
bool RegisterAssistant(const InstallContext& context);
// A value ("ServerURL" or "Path") of the server settings key, or empty.
std::string ReadServerSetting(const std::string& valueName, const std::string& allianceCode);
