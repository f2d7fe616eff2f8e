import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import org.tesry 1.0
import "Controls"

Page {
    id: root
    objectName: "pageShareFiles"

    property string contactName
    property string keyId
    property bool noBack: false
    // The contact's pinned key as the model describes it: verified, trust.
    property var key: ({})
    // Set when the relay offers another key for the contact than the pinned one.
    property string offeredFingerprint
    property bool accepting: false
    // File extension (lower case, as typed) -> type icon.
    readonly property var mimeMap: {
        var groups = {
            "assets/mime/video.svg": "3g2 3gp 3gp2 3gpp avi flv m4v mkv mov mp4 mpeg mpg rm swf ts vid vob webm wmv yuv",
            "assets/mime/audio.svg": "aa3 aac aif aiff ape cda flac mid midi mo3 mod mp3 mpga oga ogg oma opus umx w64 wav wma",
            "assets/mime/pic.svg": "asf bmp cr2 cur gif icns ico jpe jpeg jpg max png psd svg tif tiff",
            "assets/mime/doc.svg": "csv dif djvu doc docm docx dot dotm dotx epub fb2 gpx htm html ibooks indd mht mhtml "
                                   + "mobi ods odt oxps pages pdf pot potm potx pps pptm pptx prn rtf txt wpd wps xar xlr "
                                   + "xls xlsb xlsm xlsx xlt xltm xltx xml xps"
        }
        var map = {}
        for (var icon in groups)
            groups[icon].split(" ").forEach(function (ext) {
                map[ext] = icon
            })
        return map
    }

    function mimeIcon(name) {
        var dot = name.lastIndexOf(".")
        var ext = dot < 0 ? name : name.substring(dot + 1)
        // Own keys only: a file called "x.constructor" is just another unknown type.
        return Object.prototype.hasOwnProperty.call(mimeMap, ext) ? mimeMap[ext] : "assets/mime/other.svg"
    }

    function progressSizeText(value, maximum) {
        if (maximum <= 102400)
            return ""
        return mainWindow.formatSize(value) + " / " + mainWindow.formatSize(maximum)
    }

    function reset(clearFileList) {
        if (clearFileList)
            shareFilesModel.clear()
        title = qsTr("Files list to transfer to <b>%1</b>").arg(mainWindow.escapeHtml(contactName))
        key = pubKeysModel.keyDetails(keyId)
        offeredFingerprint = ""
        accepting = false
        noBack = false
        header.visible = true
        filesList.visible = true
        background.visible = true
        stackShareFiles.visible = false
        mainWindow.setTrayIcon("addFiles")
    }

    function sendFiles() {
        noBack = true
        background.visible = false
        title = qsTr("Transfer data to <b>%1</b>").arg(mainWindow.escapeHtml(contactName))
        header.visible = false
        filesList.visible = false
        stackShareFiles.currentIndex = 0
        stackShareFiles.visible = true
        mainWindow.setTrayIcon("main")
        offeredFingerprint = ""
        cmShareFiles.sendFiles(keyId, shareFilesModel.fileList())
    }

    function showError(text) {
        mainWindow.setTrayIcon("main")
        errorText.text = text
        stackShareFiles.currentIndex = stackShareFiles.count - 1
    }

    visible: false

    background: Rectangle {
        color: Material.primary
    }

    ShareFilesModel {
        id: shareFilesModel
        prompter: dialogs
    }

    ContainerManager {
        id: cmShareFiles
        prompter: dialogs

        onEncryptionStart: {
            stackShareFiles.currentIndex = 1
            progressImage.source = "assets/encryption.png"
            progressText.text = qsTr("Encrypting files...")
        }
        onUploadingStart: {
            mainWindow.setTrayIcon("uploading")
            progressImage.source = "assets/uploading_to_server.png"
            progressText.text = qsTr("Uploading data to server...")
        }
        onInfo: pbText.text = text
        onProgressInit: mainWindow.initProgress(pbProgress, pbText, min, max, text)
        onProgressValueChanged: mainWindow.setProgress(pbProgress, value)
        onFinished: unfinishedUploadsModel.select()
        onSuccess: {
            // The transfer was recorded as waiting for delivery.
            fileEventsModel.select()
            stackShareFiles.currentIndex = 2
            mainWindow.setTrayIcon("success")
        }
        onCanceled: reset(false)
        // The page's own error view, not the manager's message box of the same name.
        onError: root.showError(text)
        onKeyChanged: root.offeredFingerprint = offeredFingerprint
    }

    Connections {
        target: pubKeysModel
        enabled: root.accepting
        function onKeyAccepted(keyId) {
            // Back to the list, to send once more to the key now pinned.
            reset(false)
        }
        function onError(text) {
            root.accepting = false
            root.showError(text)
        }
    }

    footer: Rectangle {
        objectName: "shareTrustBar"
        height: 40
        visible: header.visible
        color: root.Material.background

        Row {
            x: 15
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8

            Image {
                anchors.verticalCenter: parent.verticalCenter
                source: root.key.verified ? "assets/verified_icon.svg" : "assets/unverified_icon.svg"
            }
            Text {
                objectName: "shareTrustText"
                anchors.verticalCenter: parent.verticalCenter
                width: root.width - 60
                elide: Text.ElideRight
                text: root.key.trust || ""
                font.pointSize: 11
                color: root.key.verified ? colorMap.green : colorMap.grey2
            }
        }
    }

    header: Row {
        objectName: "shareHeader"
        height: 70

        HeaderButton {
            objectName: "btnAddFiles"
            width: root.width / (lvShareFiles.count > 0 ? 3 : 2)
            height: parent.height
            text: qsTr("Add files")
            icon.source: "assets/add_file_icon.svg"
            icon.color: "transparent"
            Material.background: root.Material.background
            onClicked: shareFilesModel.openFilesDialog()
        }
        HeaderButton {
            objectName: "btnAddFolder"
            width: root.width / (lvShareFiles.count > 0 ? 3 : 2)
            height: parent.height
            text: qsTr("Add folder")
            icon.source: "assets/add_folder_icon.svg"
            icon.color: "transparent"
            Material.background: root.Material.background
            onClicked: shareFilesModel.openFolderDialog()
        }
        HeaderButton {
            objectName: "btnSendFiles"
            width: root.width / 3
            height: parent.height
            visible: lvShareFiles.count > 0
            highlighted: true
            text: qsTr("Send files")
            icon.source: "assets/transfer_icon.svg"
            onClicked: sendFiles()
        }
    }

    Item {
        id: filesList
        objectName: "filesList"
        anchors.fill: parent

        Column {
            anchors.top: parent.top
            anchors.topMargin: 10
            width: parent.width
            visible: lvShareFiles.count === 0
            spacing: 10

            Image {
                x: root.width / 2 - width - 20
                source: "assets/add_file_arrow.svg"
            }
            Text {
                width: 330
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                font.pointSize: 15
                font.weight: Font.ExtraLight
                textFormat: Text.StyledText
                text: qsTr("Click %1 to add files to the queue. Or move the files with the mouse here").arg("<img src=\"assets/add_file_tip_icon.svg\"/>")
            }
        }

        ListView {
            id: lvShareFiles
            objectName: "lvShareFiles"
            anchors.fill: parent
            spacing: 2
            clip: true
            model: shareFilesModel
            ScrollBar.vertical: ScrollBar {}

            delegate: Rectangle {
                width: lvShareFiles.width
                height: 60
                color: root.Material.background

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 15
                    anchors.rightMargin: 15
                    spacing: 15

                    Text {
                        text: index + 1
                        color: colorMap.grey2
                    }
                    Image {
                        source: root.mimeIcon(display)
                    }
                    Text {
                        Layout.fillWidth: true
                        text: display
                        font.pointSize: 12
                        elide: Text.ElideRight
                    }
                    Image {
                        objectName: "btnRemoveFile"
                        source: "assets/remove_icon.svg"

                        MouseArea {
                            anchors.fill: parent
                            anchors.margins: -8
                            cursorShape: Qt.PointingHandCursor
                            onClicked: shareFilesModel.removeFile(index)
                        }
                    }
                }
            }
        }

        DropArea {
            objectName: "shareDropArea"
            anchors.fill: parent
            onDropped: {
                if (drop.hasUrls) {
                    shareFilesModel.addFiles(drop.urls)
                    drop.acceptProposedAction()
                }
            }
        }
    }

    StackLayout {
        id: stackShareFiles
        objectName: "stackShareFiles"
        x: 50
        width: parent.width - 100
        // As high as the page: each view centres itself in it.
        height: parent.height
        visible: false

        ViewColumn {
            spacing: 50

            Illustration {
                source: "assets/key.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: qsTr("Getting public PGP key from server")
                font.pointSize: 20
                font.weight: Font.ExtraLight
            }
        }

        ViewColumn {
            spacing: 60

            Illustration {
                id: progressImage
                source: "assets/encryption.png"
            }
            Text {
                id: progressText
                objectName: "shareProgressText"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                font.pointSize: 20
                font.weight: Font.ExtraLight
            }
            ProgressBar {
                id: pbProgress
                objectName: "shareProgressBar"
                Layout.fillWidth: true

                Text {
                    id: pbText
                    objectName: "shareProgressInfo"
                    anchors.left: parent.left
                    anchors.bottom: parent.top
                    anchors.bottomMargin: 5
                    width: parent.width - sizeText.width - 10
                    elide: Text.ElideLeft
                    color: colorMap.grey2
                }
                Text {
                    id: sizeText
                    anchors.right: parent.right
                    anchors.bottom: parent.top
                    anchors.bottomMargin: 5
                    font.bold: true
                    text: root.progressSizeText(pbProgress.value, pbProgress.to)
                }
            }
            Button {
                objectName: "btnCancelShare"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                text: qsTr("Cancel")
                onClicked: cmShareFiles.cancel()
            }
        }

        ViewColumn {
            spacing: 50

            Illustration {
                source: "assets/server_successful.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                text: qsTr("Data successfully uploaded")
                font.pointSize: 20
                font.weight: Font.ExtraLight
            }
            Button {
                objectName: "btnShareDone"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                text: qsTr("Done")
                onClicked: mainStackView.pop()
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/error.png"
            }
            Text {
                id: errorText
                objectName: "shareErrorText"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: "red"
                // The stop for a changed key says more than a failure does.
                font.pointSize: root.offeredFingerprint !== "" ? 13 : 20
                font.weight: Font.ExtraLight
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                Button {
                    objectName: "btnAcceptKey"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    visible: root.offeredFingerprint !== ""
                    enabled: !root.accepting
                    highlighted: true
                    text: qsTr("Accept the new key")
                    onClicked: {
                        root.accepting = true
                        pubKeysModel.acceptKey(root.keyId, root.offeredFingerprint)
                    }
                }
                Button {
                    objectName: "btnShareRetry"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    visible: root.offeredFingerprint === ""
                    text: qsTr("Retry")
                    onClicked: {
                        stackShareFiles.currentIndex = 0
                        mainWindow.setTrayIcon("main")
                        cmShareFiles.sendFiles(keyId, shareFilesModel.fileList())
                    }
                }
                Button {
                    objectName: "btnShareClose"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    text: qsTr("Close")
                    onClicked: mainStackView.pop()
                }
            }
        }
    }
}
