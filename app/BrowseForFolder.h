#pragma once

#include <string>

class QWidget;

// Thread: user-interface thread.
// The folder picker: a modal dialog over owner titled
// kBrowseForFolderTitle ("저장될 폴더를 지정하십시오."), showing folders
// only, opened on initialFolder (the current folder when that does not
// exist), with the chosen path in its name field. Returns the chosen
// folder, "" when the user cancels.
[[nodiscard]] std::string BrowseForFolder(QWidget* pOwner, const std::string& initialFolder);
