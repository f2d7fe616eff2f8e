import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import "Controls"

Page {
    id: root
    objectName: "pageAddContact"

    property bool noBack: false
    // The model's answers are this page's only while it asked.
    property bool asking: false

    function reset() {
        noBack = false
        stackAddContact.currentIndex = 0
        newContactImg.source = "assets/adding_user.png"
        newContactText.text = qsTr("For adding user, enter ID below")
        newContactId.text = ""
        newContactTitle.text = ""
        newContactId.forceActiveFocus()
    }

    function addUser(userId) {
        stackAddContact.currentIndex = 1
        noBack = true
        asking = true
        pubKeysModel.addPubKey(userId)
    }

    function backToStart() {
        asking = false
        stackAddContact.currentIndex = 0
        noBack = false
    }

    visible: false
    title: qsTr("Adding user")

    Connections {
        target: pubKeysModel
        enabled: root.asking
        function onContactAdded(keyId) {
            asking = false
            stackAddContact.currentIndex = 2
            newContactTitle.forceActiveFocus()
        }
        function onContactNotFound() {
            backToStart()
            newContactImg.source = "assets/user_not_found.png"
            newContactText.text = qsTr("User not found, check ID")
        }
        function onContactError(text) {
            backToStart()
            newContactImg.source = "assets/error.png"
            newContactText.text = text
        }
        function onKeyTitleSet(keyId) {
            asking = false
            newContactTitle.focus = false
            stackAddContact.currentIndex = 3
        }
        function onError(text) {
            // A failed rename keeps the name view, as a refused save did.
            if (stackAddContact.currentIndex === 2)
                asking = false
        }
    }

    StackLayout {
        id: stackAddContact
        objectName: "stackAddContact"
        x: 50
        width: parent.width - 100
        // As high as the page: each view centres itself in it.
        height: parent.height

        ViewColumn {
            Illustration {
                id: newContactImg
            }
            Text {
                id: newContactText
                objectName: "newContactText"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                font.pointSize: 14
                font.weight: Font.ExtraLight
                wrapMode: Text.WordWrap
            }
            TextField {
                id: newContactId
                objectName: "newContactId"
                Layout.fillWidth: true
                placeholderText: qsTr("Contact ID")
                selectByMouse: true
                inputMethodHints: Qt.ImhDigitsOnly
                onAccepted: btnNewContact.clicked()
            }
            Button {
                id: btnNewContact
                objectName: "btnNewContact"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                highlighted: true
                text: qsTr("Add")
                onClicked: addUser(newContactId.text)
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/searching_user.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Finding user")
                font.pointSize: 20
                font.weight: Font.ExtraLight
            }
        }

        ViewColumn {
            Illustration {
                source: "assets/adding_user.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: newContactId.text
                font.pointSize: 16
                font.bold: true
                elide: Text.ElideRight
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Specify the user name under which it will be displayed in the list of your contacts")
                font.pointSize: 14
                font.weight: Font.ExtraLight
                wrapMode: Text.WordWrap
            }
            TextField {
                id: newContactTitle
                objectName: "newContactTitle"
                Layout.fillWidth: true
                placeholderText: qsTr("Contact name")
                selectByMouse: true
                onAccepted: btnSaveContactName.clicked()
            }
            Button {
                id: btnSaveContactName
                objectName: "btnSaveContactName"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                text: qsTr("Save")
                onClicked: {
                    asking = true
                    pubKeysModel.setKeyTitle(newContactId.text, newContactTitle.text)
                }
            }
        }

        ViewColumn {
            spacing: 60

            Illustration {
                source: "assets/user_successfuly_added.png"
            }
            Text {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("User successfully added")
                font.pointSize: 14
                font.weight: Font.ExtraLight
            }
            Button {
                objectName: "btnAddContactDone"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 60
                text: qsTr("Done")
                onClicked: mainStackView.pop()
            }
        }
    }

    Component.onCompleted: reset()
}
