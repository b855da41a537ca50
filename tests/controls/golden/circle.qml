OrvixEllipse {
id: crcl671088647
objectName: "crcl671088647"
objID: 671088647
rootObjID: 16777216
controlName: "Lamp"
x: 200
y: 120
z: 500
width: 50
height: 50

}

