#include <QApplication>

#include "configure/frmmain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    configure::frmmain form;
    return RunConfiguration(form);
}
