import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import "Controls"

Page {
    id: pageMain
    objectName: "pageMain"

    header: Item {
        width: pageMain.width
        height: 63

        Item {
            id: titleBar
            width: parent.width
            height: parent.height - 3

            // Under the buttons, so that they still take their clicks.
            MouseAreaDrag {}

            Image {
                x: 15
                anchors.verticalCenter: parent.verticalCenter
                source: "assets/logo_small.svg"
                visible: mainStackView.depth <= 1
            }

            ToolButton {
                objectName: "btnBack"
                x: 5
                anchors.verticalCenter: parent.verticalCenter
                visible: mainStackView.depth > 1 && !(mainStackView.currentItem && mainStackView.currentItem.noBack === true)
                onClicked: mainStackView.pop()

                Image {
                    anchors.centerIn: parent
                    source: "assets/back_icon.svg"
                }
            }

            Text {
                objectName: "titleText"
                anchors.fill: parent
                anchors.leftMargin: 60
                anchors.rightMargin: 60
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                font.pointSize: 12
                elide: Text.ElideRight
                // Pages build their titles with escaped names; only their own <b> is markup.
                textFormat: Text.StyledText
                text: mainStackView.currentItem && mainStackView.currentItem.title ? mainStackView.currentItem.title : ""
            }

            Row {
                anchors.right: parent.right
                anchors.rightMargin: 15
                anchors.verticalCenter: parent.verticalCenter
                spacing: 15

                ToolButton {
                    objectName: "btnCheckNow"
                    anchors.verticalCenter: parent.verticalCenter
                    visible: mainStackView.depth <= 1
                    text: qsTr("Check now")
                    font.capitalization: Font.MixedCase
                    font.pointSize: 10
                    onClicked: mainWindow.checkNow()
                }
                ToolButton {
                    objectName: "btnSettings"
                    width: 35
                    height: 35
                    visible: mainStackView.depth <= 1
                    icon.source: "assets/settings_icon.svg"
                    icon.color: "transparent"
                    onClicked: mainStackView.push(pageSettings)
                }
                ToolButton {
                    objectName: "btnHideWindow"
                    width: 35
                    height: 35
                    icon.source: "assets/close_icon.svg"
                    icon.color: "transparent"
                    onClicked: mainWindow.closeWindow()
                }
            }
        }

        Rectangle {
            anchors.top: titleBar.bottom
            width: parent.width
            height: 3
            color: Material.primary
        }
    }

    PageSettings {
        id: pageSettings
    }

    Dialog {
        id: dlgOwnFingerprint
        objectName: "dlgOwnFingerprint"
        modal: true
        // Escape closes it.
        focus: true
        width: pageMain.width - 40
        x: 20
        y: 90
        padding: 20
        title: qsTr("Your fingerprint")

        footer: DialogButtonBox {
            Button {
                objectName: "btnOwnFingerprintClose"
                text: qsTr("Close")
                flat: true
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }

        contentItem: ColumnLayout {
            spacing: 15

            TextEdit {
                id: ownFingerprintText
                objectName: "ownFingerprintText"
                Layout.preferredWidth: dlgOwnFingerprint.availableWidth
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.WordWrap
                font.family: "monospace"
                font.pointSize: 13
                color: colorMap.grey1
                selectionColor: Material.accent
            }
            Text {
                Layout.preferredWidth: dlgOwnFingerprint.availableWidth
                wrapMode: Text.WordWrap
                text: qsTr("Your contacts see this fingerprint for you on their contact page. The safety number you compare with each of them is made from it and theirs.")
                font.pointSize: 11
                color: colorMap.grey2
            }
        }
    }

    StackView {
        id: mainStackView
        objectName: "mainStackView"
        anchors.fill: parent
        initialItem: homeView
    }

    Page {
        id: homeView
        objectName: "homeView"

        header: Item {
            height: 70

            Row {
                x: 15
                anchors.verticalCenter: parent.verticalCenter
                anchors.verticalCenterOffset: -5
                spacing: 10

                Image {
                    anchors.verticalCenter: parent.verticalCenter
                    source: "assets/user_icon.svg"
                }
                Column {
                    anchors.verticalCenter: parent.verticalCenter

                    Row {
                        spacing: 10

                        Text {
                            text: qsTr("Your ID")
                            font.pointSize: 12
                            color: colorMap.grey2
                        }
                        Text {
                            objectName: "btnOwnFingerprint"
                            text: qsTr("Fingerprint")
                            font.pointSize: 12
                            font.underline: true
                            color: colorMap.green

                            MouseArea {
                                anchors.fill: parent
                                anchors.margins: -4
                                cursorShape: Qt.PointingHandCursor
                                onClicked: {
                                    ownFingerprintText.text = privKeysModel.fingerprint()
                                    dlgOwnFingerprint.open()
                                }
                            }
                        }
                    }
                    TextInput {
                        objectName: "privKeyIdText"
                        text: mainWindow.privKeyID
                        readOnly: true
                        selectByMouse: true
                        font.pointSize: 14
                        font.family: "Geometria"
                        color: colorMap.grey1
                        selectionColor: Material.primary
                        selectedTextColor: colorMap.grey1
                    }
                }
            }

            TabBar {
                id: homeTabBar
                objectName: "homeTabBar"
                anchors.right: parent.right
                width: parent.width / 2
                contentHeight: parent.height - 10
                currentIndex: homeSwipeView.currentIndex

                TabButton {
                    objectName: "tabContactsBtn"
                    text: qsTr("Contacts")
                }
                TabButton {
                    id: tabKeysBtn
                    objectName: "tabEventsBtn"
                    text: qsTr("Events")
                }
            }

            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 10
                color: Material.primary
            }
        }

        SwipeView {
            id: homeSwipeView
            objectName: "homeSwipeView"
            anchors.fill: parent
            clip: true
            currentIndex: homeTabBar.currentIndex

            TabContacts {}
            TabEvents {}
        }

        Timer {
            id: tmCheckNewFiles
            interval: 30000
            repeat: true
            running: false
            onTriggered: mainWindow.checkNewFiles()
        }

        onVisibleChanged: {
            if (visible) {
                mainWindow.setTrayIcon("main")
                tmCheckNewFiles.start()
            } else {
                tmCheckNewFiles.stop()
            }
        }
    }
}
