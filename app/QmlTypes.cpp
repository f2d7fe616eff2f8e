#include "app/Startup.h"

#include <QtQml>

#if __has_include("models/PrivKeysModel.h")
#include "models/PrivKeysModel.h"
#endif
#if __has_include("models/PubKeysModel.h")
#include "models/PubKeysModel.h"
#endif
#if __has_include("models/ShareFilesModel.h")
#include "models/ShareFilesModel.h"
#endif
#if __has_include("containers/ContainerManager.h")
#include "containers/ContainerManager.h"
#endif
#if __has_include("models/FileEventsModel.h")
#include "models/FileEventsModel.h"
#endif

void Startup::registerQmlTypes()
{
    [[maybe_unused]] const char* uri = "org.tesry";
#if __has_include("models/PrivKeysModel.h")
    qmlRegisterType<PrivKeysModel>(uri, 1, 0, "PrivKeysModel");
#endif
#if __has_include("models/PubKeysModel.h")
    qmlRegisterType<PubKeysModel>(uri, 1, 0, "PubKeysModel");
#endif
#if __has_include("models/ShareFilesModel.h")
    qmlRegisterType<ShareFilesModel>(uri, 1, 0, "ShareFilesModel");
#endif
#if __has_include("containers/ContainerManager.h")
    qmlRegisterType<ContainerManager>(uri, 1, 0, "ContainerManager");
#endif
#if __has_include("models/FileEventsModel.h")
    qmlRegisterType<FileEventsModel>(uri, 1, 0, "FileEventsModel");
#endif
}
