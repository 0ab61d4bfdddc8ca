#include <QApplication>
#include <QLibraryInfo>

#include "configure/frmmain.h"
#include "platform/ProgramInfo.h"

namespace {

// The dialog runs as root (pkexec) from the program folder, where the service may create files,
// and Qt searches the program's folder for plugins by default. Only Qt's own plugin folder may
// count (its qt.conf is compiled in). Qt rebuilds its search list when the application is made
// and replays on it only the removals from the list it had before, so the program's folder has
// to be on that first list, through QT_PLUGIN_PATH, to be removed from both.
void UseOnlyQtsOwnPlugins() {
    qputenv("QT_PLUGIN_PATH", QByteArray::fromStdString(platform::ProgramDirectory()));
    QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
}

}  // namespace

int main(int argc, char* argv[]) {
    UseOnlyQtsOwnPlugins();
    QApplication app(argc, argv);
    qunsetenv("QT_PLUGIN_PATH");
    configure::frmmain form;
    return RunConfiguration(form);
}
