import QtQuick 2.9 as Quick

// The program's text: its own typeface and colour. Plain text unless a page asks for the few
// styled templates of its own, so names and messages from outside are never read as markup.
Quick.Text {
    color: colorMap.grey1
    textFormat: Quick.Text.PlainText
    font.family: defaultFont.name
    font.weight: Quick.Font.Normal

    Quick.FontLoader {
        id: defaultFont
        source: "fonts/Geometria.otf"
    }
    Quick.FontLoader {
        source: "fonts/Geometria-ExtraLight.otf"
    }
    Quick.FontLoader {
        source: "fonts/Geometria-Medium.otf"
    }
}
