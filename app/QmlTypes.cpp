#include "app/GuiApplication.h"
#include "containers/ContainerManager.h"
#include "models/FileEventsModel.h"
#include "models/PrivKeysModel.h"
#include "models/PubKeysModel.h"
#include "models/ShareFilesModel.h"
#include "models/UnfinishedUploadsModel.h"
#include "platform/Prompter.h"

#include <QtQml>

void registerQmlTypes()
{
    const char* uri = "org.tesry";
    qmlRegisterType<PrivKeysModel>(uri, 1, 0, "PrivKeysModel");
    qmlRegisterType<PubKeysModel>(uri, 1, 0, "PubKeysModel");
    qmlRegisterType<ShareFilesModel>(uri, 1, 0, "ShareFilesModel");
    qmlRegisterType<ContainerManager>(uri, 1, 0, "ContainerManager");
    qmlRegisterType<FileEventsModel>(uri, 1, 0, "FileEventsModel");
    qmlRegisterType<UnfinishedUploadsModel>(uri, 1, 0, "UnfinishedUploadsModel");
    qmlRegisterUncreatableType<Prompter>(uri, 1, 0, "Prompter", QStringLiteral("given by the program"));
}
