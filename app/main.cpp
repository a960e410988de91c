#include "CommandLine.h"
#include "Forms.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = handleCommandLine(argc, argv))
        return *status;
    QApplication application(argc, argv);
    return runKelvane();
}
