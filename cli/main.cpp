#include "cli/CliApp.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    CliApp cli;
    return cli.run(QCoreApplication::arguments());
}
