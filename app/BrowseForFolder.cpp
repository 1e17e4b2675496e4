#include "app/BrowseForFolder.h"

#include "foundation/Paths.h"

#include <QFileDialog>

std::string BrowseForFolder(QWidget* pOwner, const std::string& initialFolder)
{
    // Qt's own dialog everywhere: the same title and behaviour on every
    // desktop, whatever portal or theme would stand in for it.
    QFileDialog dialog(pOwner, QString::fromUtf8(kBrowseForFolderTitle), QString::fromStdString(initialFolder));
    dialog.setObjectName("BrowseForFolder");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front().toStdString();
}
