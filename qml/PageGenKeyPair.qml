import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import "Controls"

Page {
    id: pageGenKeyPair
    objectName: "pageGenKeyPair"

    function startKeyGen() {
        stackGenKeys.currentIndex = 1
        privKeysModel.genKeyPair()
    }

    Connections {
        target: privKeysModel
        function onGenKeyPairCompleted() {
            stackGenKeys.currentIndex = 2
        }
        function onKeyRegistered(keyId) {
            mainWindow.privKeyID = keyId
            stackGenKeys.currentIndex = 3
        }
        function onError(text) {
            textError.text = qsTr("%1\nTry again?").arg(text)
            stackGenKeys.currentIndex = stackGenKeys.count - 1
        }
    }

    header: Item {
        height: 60

        MouseAreaDrag {}

        Image {
            x: 10
            anchors.verticalCenter: parent.verticalCenter
            source: "assets/logo_small.svg"
            visible: stackGenKeys.currentIndex > 0
        }

        ToolButton {
            objectName: "btnQuit"
            width: 35
            height: 35
            anchors.right: parent.right
            anchors.rightMargin: 15
            anchors.verticalCenter: parent.verticalCenter
            icon.source: "assets/close_icon.svg"
            icon.color: "transparent"
            onClicked: mainWindow.closeWindow()
        }
    }

    StackLayout {
        id: stackGenKeys
        objectName: "stackGenKeys"
        x: 30
        width: parent.width - 60
        // As high as the page: each view centres itself in it.
        height: parent.height

        ViewColumn {
            Image {
                Layout.alignment: Qt.AlignHCenter
                source: "assets/logo_splash.svg"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Welcome to Tessary")
                font.pointSize: 24
                wrapMode: Text.WordWrap
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("The program is started for the first time. For further work it is necessary to generate PGP keys. To do this, click \"Next\"")
                font.pointSize: 14
                font.weight: Font.ExtraLight
                color: colorMap.grey2
                lineHeight: 1.25
                wrapMode: Text.WordWrap
            }
            Button {
                objectName: "btnNext"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                text: qsTr("Next")
                onClicked: startKeyGen()
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/key.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Generating PGP keys")
                font.pointSize: 20
                font.weight: Font.ExtraLight
                wrapMode: Text.WordWrap
            }
            ProgressBar {
                Layout.fillWidth: true
                indeterminate: true
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/key.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Uploading public PGP key to server")
                font.pointSize: 20
                font.weight: Font.ExtraLight
                wrapMode: Text.WordWrap
            }
            ProgressBar {
                Layout.fillWidth: true
                indeterminate: true
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/success.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Public key successfully uploaded")
                font.pointSize: 20
                font.weight: Font.ExtraLight
                wrapMode: Text.WordWrap
            }
            Button {
                objectName: "btnKeysDone"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                text: qsTr("Done")
                onClicked: {
                    mainStack.currentIndex = 1
                    trayIcon.show()
                }
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/error.png"
            }
            Text {
                id: textError
                objectName: "keyErrorText"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                font.pointSize: 20
                font.weight: Font.ExtraLight
                wrapMode: Text.WordWrap
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                Button {
                    objectName: "btnKeysRetry"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    text: qsTr("Retry")
                    onClicked: startKeyGen()
                }
                Button {
                    objectName: "btnKeysClose"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 60
                    text: qsTr("Close")
                    onClicked: Qt.quit()
                }
            }
        }
    }
}
