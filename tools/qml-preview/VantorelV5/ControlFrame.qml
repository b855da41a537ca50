// A control drawn as a frame at its geometry, labelled with its type code and
// text; a vector shape drawn as its shape instead of a frame. A control the
// document hides is shown anyway, dashed, so the picture tells where it would
// appear. The preview sets the label colour against the screen's background.
import QtQuick
import QmlPreview

Item {
    id: control
    property var objID
    property var rootObjID
    property string controlName
    property var fontArray
    property string typeCode
    property bool hiddenInDocument: false
    readonly property color frameColor: "#0050c8"
    property color labelColor: frameColor
    readonly property bool isShape: ["elps", "crcl", "rect", "plyg", "plyl", "fblk", "line"].indexOf(typeCode) >= 0
    readonly property string label: typeCode + (controlName.length > 0 ? " " + controlName : "")

    Component.onCompleted: {
        if (!visible) {
            hiddenInDocument = true
            visible = true
        }
    }

    Rectangle {
        anchors.fill: parent
        visible: !control.hiddenInDocument && !control.isShape
        color: "transparent"
        border.width: 1
        border.color: control.frameColor
        antialiasing: false
    }
    // Dashed: a 2-pixel pattern (one drawn, one clear) tiled along each edge.
    Repeater {
        model: control.hiddenInDocument && !control.isShape ? 4 : 0
        Image {
            required property int index
            readonly property bool across: index < 2
            source: across ? "image://qmlPreviewPattern/across" : "image://qmlPreviewPattern/down"
            fillMode: Image.Tile
            // Tiles start at the corner (centred by default), so every
            // frame's dash begins with a drawn pixel.
            horizontalAlignment: Image.AlignLeft
            verticalAlignment: Image.AlignTop
            smooth: false
            x: index === 3 ? control.width - 1 : 0
            y: index === 1 ? control.height - 1 : 0
            width: across ? control.width : 1
            height: across ? 1 : control.height
        }
    }
    ShapeItem {
        anchors.fill: parent
        visible: control.isShape
        shape: control.typeCode
        color: control.frameColor
        dashed: control.hiddenInDocument
    }
    // A shape's label sits in its middle, a frame's in its top left corner.
    Text {
        x: 3
        y: 2
        width: Math.max(0, control.width - 6)
        height: Math.max(0, control.height - 4)
        clip: true
        elide: Text.ElideRight
        horizontalAlignment: control.isShape ? Text.AlignHCenter : Text.AlignLeft
        verticalAlignment: control.isShape ? Text.AlignVCenter : Text.AlignTop
        font.pixelSize: 10
        color: control.labelColor
        text: control.label
    }
}
