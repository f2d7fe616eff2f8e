#include "app/GuiApplication.h"
#include "platform/Prompter.h"

int main(int argc, char* argv[])
{
    return runGuiApplication(argc, argv, [] { return std::make_unique<WidgetPrompter>(); });
}
