// The shortcuts of an installation: on the desktop, in the Programs menu
// (with the uninstaller's), and in the quick-launch folder.
#pragma once

#include <string>

class ProgressSink;

// The link file name of the UI program: assistantName + ".lnk".
std::string AssistantLinkName();
// The quick-launch folder below a user's application data.
std::string QuickLaunchFolder(const std::string& appData);

// Makes the shortcuts the three flags ask for, showing "创建桌面快捷方式"
// and "创建快速启动选项" before the desktop and quick-launch ones.
void CreateShortcuts(ProgressSink* sink);
// Saves one shortcut folder + separator + link file name to target. False
// when the path is 260 bytes or longer, or it cannot be saved.
bool CreateShortcut(const std::string& target, const std::string& folder,
                    const std::string& linkFileName);
// Tells the shell the folder appeared, and its parent changed.
void NotifyShellFolderCreated(const std::string& folder);
