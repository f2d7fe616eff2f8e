import QtQuick 2.9
import QtQuick.Layouts 1.3

// The picture above a view's message, drawn at one size on every page.
Image {
    Layout.alignment: Qt.AlignHCenter
    Layout.preferredWidth: 140
    Layout.preferredHeight: 140
    sourceSize.width: 280
    sourceSize.height: 280
    fillMode: Image.PreserveAspectFit
    smooth: true
    mipmap: true
}
