import QtQuick 2.9
import QtQuick.Controls 2.2
import QtQuick.Layouts 1.3
import QtQuick.Controls.Material 2.2
import "Controls"

Item {
    id: tabContacts
    objectName: "tabContacts"

    Rectangle {
        anchors.fill: parent
        color: Material.primary
    }

    ListView {
        id: lvContacts
        objectName: "lvContacts"
        anchors.fill: parent
        model: pubKeysModel
        currentIndex: -1
        spacing: 2
        clip: true
        ScrollBar.vertical: ScrollBar {}

        delegate: Item {
            id: contactRow
            objectName: "contactRow_" + remote_key_id
            width: lvContacts.width
            height: 70

            readonly property bool current: ListView.isCurrentItem
            // Rows that reach down to the round add button give it room.
            readonly property bool nearAddButton: {
                lvContacts.contentY
                lvContacts.height
                contactRow.y
                return contactRow.mapToItem(null, 0, 0).y - 90 > btnAddContact.y
            }

            Rectangle {
                anchors.fill: parent
                color: contactRow.current ? "transparent" : Material.background
            }

            MouseArea {
                anchors.fill: parent
                hoverEnabled: true
                acceptedButtons: Qt.NoButton
                onEntered: lvContacts.currentIndex = index
            }

            Column {
                id: contactLayout
                x: 15
                anchors.verticalCenter: parent.verticalCenter
                width: contactRow.width - (contactRow.current ? 140 : 40) - (contactRow.nearAddButton ? 80 : 0)

                Row {
                    width: parent.width
                    spacing: 6

                    Image {
                        objectName: "verifiedMark_" + remote_key_id
                        anchors.verticalCenter: parent.verticalCenter
                        visible: verified === 1
                        source: "assets/verified_icon.svg"
                    }
                    Text {
                        width: parent.width - (verified === 1 ? 24 : 0)
                        text: key_alias ? key_alias : ""
                        font.pointSize: 13
                        elide: Text.ElideRight
                    }
                }
                Text {
                    width: parent.width
                    text: remote_key_id ? remote_key_id : ""
                    font.pointSize: 11
                    color: colorMap.grey2
                }
            }

            Row {
                anchors.left: contactLayout.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 10
                visible: contactRow.current

                ToolButton {
                    objectName: "btnEditContact"
                    icon.source: "assets/edit_contact_icon.svg"
                    icon.color: "transparent"
                    onClicked: {
                        pageEditContact.keyId = remote_key_id
                        pageEditContact.keyIndex = index
                        pageEditContact.setContactName(key_alias ? key_alias : "")
                        mainStackView.push(pageEditContact)
                    }
                }
                ToolButton {
                    objectName: "btnShareTo"
                    icon.source: "assets/transfer_icon.svg"
                    icon.color: "transparent"
                    onClicked: {
                        pageShareFiles.contactName = key_alias ? key_alias : remote_key_id
                        pageShareFiles.keyId = remote_key_id
                        pageShareFiles.reset(true)
                        mainStackView.push(pageShareFiles)
                    }
                }
            }
        }
    }

    Text {
        id: emptyHint
        objectName: "contactsEmptyHint"
        width: 330
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 240
        anchors.right: parent.right
        anchors.rightMargin: 50
        visible: lvContacts.count === 0
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        font.pointSize: 14
        font.weight: Font.ExtraLight
        textFormat: Text.StyledText
        text: qsTr("Currently you don't have anyone in your contact list. Click %1 to add a user").arg("<img src=\"assets/add_contact_tip_icon.svg\"/>")
    }
    Image {
        anchors.top: emptyHint.bottom
        anchors.topMargin: 10
        anchors.right: emptyHint.right
        visible: emptyHint.visible
        source: "assets/add_contact_arrow.svg"
    }

    RoundButton {
        id: btnAddContact
        objectName: "btnAddContact"
        width: 75
        height: 75
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 10
        highlighted: true
        onClicked: {
            pageAddContact.reset()
            mainStackView.push(pageAddContact)
        }

        Image {
            anchors.centerIn: parent
            source: "assets/add_contact_icon.svg"
        }
    }

    PageAddContact {
        id: pageAddContact
    }
    PageEditContact {
        id: pageEditContact
    }
    PageShareFiles {
        id: pageShareFiles
    }
}
