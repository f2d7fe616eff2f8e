import QtQuick 2.9
import QtTest 1.2
import "qrc:/"

// The first-start page's views against a stand-in for the own-keys model, so that generation,
// upload failures and Retry can be played in any order.
Item {
    id: scene
    width: 450
    height: 600

    // What the page reaches in the window by name.
    readonly property var colorMap: ({"grey1": "#353e48", "grey2": "#6a7980", "grey4": "#d7dedf"})

    QtObject {
        id: mainWindow
        property string privKeyID
        property real x
        property real y
    }
    QtObject {
        id: mainStack
        property int currentIndex: 0
    }
    QtObject {
        id: trayIcon
        property bool shown: false
        function show() {
            shown = true
        }
    }
    QtObject {
        id: privKeysModel
        signal genKeyPairCompleted
        signal error(string text)

        property int rows: 0
        property string generationError
        property string serverId // empty: the upload fails
        property int generations: 0
        property int uploads: 0

        function rowCount() {
            return rows
        }
        function remoteKeyId(index) {
            return ""
        }
        function genKeyPair() {
            generations++
            if (generationError !== "")
                error(generationError)
        }
        function uploadPublicKey(index) {
            uploads++
            if (serverId === "") {
                error("Cannot get server response")
                return ""
            }
            return serverId
        }
    }

    PageGenKeyPair {
        id: page
        anchors.fill: parent
    }

    TestCase {
        name: "FirstStart"
        when: windowShown

        function view() {
            return findChild(page, "stackGenKeys").currentIndex
        }
        function click(name) {
            var button = findChild(page, name)
            verify(button.visible, name + " is visible")
            mouseClick(button)
        }

        function init() {
            findChild(page, "stackGenKeys").currentIndex = 0
            privKeysModel.rows = 0
            privKeysModel.generations = 0
            privKeysModel.uploads = 0
            privKeysModel.generationError = ""
            privKeysModel.serverId = ""
            mainStack.currentIndex = 0
            trayIcon.shown = false
        }

        function test_viewSequence() {
            compare(view(), 0)
            click("btnNext")
            compare(view(), 1)
            compare(privKeysModel.generations, 1)

            // Keys made, but the server cannot be reached: the error view offers Retry.
            privKeysModel.rows = 1
            privKeysModel.genKeyPairCompleted()
            compare(view(), 4)
            compare(findChild(page, "keyErrorText").text, "Cannot get server response\nTry again?")
            compare(mainWindow.privKeyID, "")

            // Retry uploads the stored key again without making a new one.
            privKeysModel.serverId = "123456789"
            click("btnKeysRetry")
            compare(privKeysModel.generations, 1)
            compare(privKeysModel.uploads, 2)
            compare(view(), 3)
            compare(mainWindow.privKeyID, "123456789")
            verify(!trayIcon.shown)

            click("btnKeysDone")
            compare(mainStack.currentIndex, 1)
            verify(trayIcon.shown)
        }

        function test_generationFailure() {
            privKeysModel.generationError = "Cannot start gpg"
            click("btnNext")
            compare(view(), 4)
            compare(findChild(page, "keyErrorText").text, "Cannot start gpg\nTry again?")
            compare(privKeysModel.uploads, 0)
        }
    }
}
