// A popup screen: its frame (border, radius, background), the title bar with
// icon, text and close button, and the content item placed below the title
// inside the border, as the runtime places it.
import QtQuick

Item {
    id: popup
    property var objID
    property var rootObjID
    property string controlName
    property var fontArray
    readonly property string typeCode: "pops"
    property int popupX
    property int popupY
    property int popupWidth
    property int popupHeight
    property bool titleVisible: false
    property string titleIcon
    property bool titleIconVisible: false
    property string titleText
    property color titleTextColor: "black"
    property var titleBackgroundColor: "#ffffffff"
    property bool closeButtonVisible: false
    property int titleHeight: 0
    property color borderColor: "black"
    property int borderWidth: 0
    property int borderRadius: 0
    property var popupBgColor: "#ffffffff"
    property Item contentItem

    function focusToDialog(reason) {}
    function fillColor(fill) { return typeof fill === "string" ? fill : "transparent" }
    function fillGradient(fill) { return typeof fill === "object" ? fill : null }

    onContentItemChanged: if (contentItem) contentItem.parent = content

    Rectangle {
        anchors.fill: parent
        color: popup.fillColor(popup.popupBgColor)
        gradient: popup.fillGradient(popup.popupBgColor)
        radius: popup.borderRadius
        border.width: popup.borderWidth
        border.color: popup.borderColor
    }
    Rectangle {
        id: titleBar
        visible: popup.titleVisible
        x: popup.borderWidth
        y: popup.borderWidth
        width: Math.max(0, popup.width - 2 * popup.borderWidth)
        height: popup.titleHeight
        color: popup.fillColor(popup.titleBackgroundColor)
        gradient: popup.fillGradient(popup.titleBackgroundColor)
        clip: true
        Image {
            id: icon
            visible: popup.titleIconVisible
            x: 4
            anchors.verticalCenter: parent.verticalCenter
            width: visible ? Math.min(16, parent.height) : 0
            height: width
            source: popup.titleIconVisible ? popup.titleIcon : ""
        }
        Text {
            x: icon.x + icon.width + 4
            anchors.verticalCenter: parent.verticalCenter
            width: Math.max(0, parent.width - x - 20)
            elide: Text.ElideRight
            font.pixelSize: Math.max(8, Math.min(14, popup.titleHeight - 8))
            color: popup.titleTextColor
            text: popup.titleText
        }
        Text {
            visible: popup.closeButtonVisible
            anchors.right: parent.right
            anchors.rightMargin: 4
            anchors.verticalCenter: parent.verticalCenter
            font.pixelSize: Math.max(8, Math.min(14, popup.titleHeight - 8))
            color: popup.titleTextColor
            text: "\u00d7"
        }
    }
    Item {
        id: content
        x: popup.borderWidth
        y: popup.borderWidth + (popup.titleVisible ? popup.titleHeight : 0)
    }
}
