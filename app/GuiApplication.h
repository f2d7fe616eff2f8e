#pragma once

#include <functional>
#include <memory>

class Prompter;
class QQmlApplicationEngine;

// Registers the native types in the QML module org.tesry 1.0.
void registerQmlTypes();

// The window's whole start-up and run, from the data directory to the event loop. Returns the exit
// code: 0 when another instance runs (after asking its window to come to the front), -1 for a fatal start-up
// failure (after a message), -4 when the updater could not be launched, else the event loop's result.
// makePrompter is called once the application object exists; the window passes Qt Widgets dialogs, tests a
// prompter that never blocks. onLoaded, when given, sees the engine once the interface is loaded, just before
// the event loop runs.
int runGuiApplication(int argc, char* argv[], const std::function<std::unique_ptr<Prompter>()>& makePrompter,
                      const std::function<void(QQmlApplicationEngine&, Prompter&)>& onLoaded = {});
