// A control drawn as a frame at its geometry, labelled with its type code and
// text. Nothing here runs script: the preview sets the label, its colour,
// room and clip, shows a control the document hides and marks it dashed,
// and gives a vector shape or a hidden control the item that draws it, all
// in C++ before drawing (with tens of thousands of controls per run every
// binding counts).
import QtQuick

Item {
    property var objID
    property var rootObjID
    property string controlName
    property var fontArray
    property string typeCode

    Rectangle {
        objectName: "previewFrame"
        anchors.fill: parent
        color: "transparent"
        border.width: 1
        border.color: "#0050c8"
        antialiasing: false
    }
    // A shape's label sits in its middle, a frame's in its top left corner.
    Text {
        objectName: "previewLabel"
        x: 3
        y: 2
        elide: Text.ElideRight
        textFormat: Text.PlainText
        font.pixelSize: 10
    }
}
