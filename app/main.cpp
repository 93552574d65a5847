#include "form1.h"
#include "messagebox.h"
#include "runtimeerror.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    Form1 form;
    form.Comm1.setDevicePath(qEnvironmentVariable("PELMAR_PORT"));
    try {
        form.load();
    } catch (const RunTimeError &error) {
        std::fprintf(stderr, "pelmar: %s\n", qPrintable(error.message()));
        showMessage(error.message());
        return 1;
    }
    form.show();
    return application.exec();
}
