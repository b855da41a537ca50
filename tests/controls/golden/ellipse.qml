OrvixEllipse {
id: elps671088647
objectName: "elps671088647"
objID: 671088647
rootObjID: 16777216
controlName: "Lamp"
x: 200
y: 120
z: 500
width: 60
height: 50

}

