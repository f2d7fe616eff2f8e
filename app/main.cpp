#include "app/GuiApplication.h"
#include "platform/WidgetPrompter.h"

int main(int argc, char* argv[])
{
    return runGuiApplication(argc, argv, [] { return std::make_unique<WidgetPrompter>(); });
}
