/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Fades from the start image to the end image.",
    "CATEGORIES": ["Transition"],
    "INPUTS": [
        { "NAME": "startImage", "TYPE": "image" },
        { "NAME": "endImage", "TYPE": "image" },
        { "NAME": "progress", "TYPE": "float", "DEFAULT": 0.25, "MIN": 0.0, "MAX": 1.0 }
    ]
}*/

void main() {
    gl_FragColor = mix(IMG_THIS_PIXEL(startImage), IMG_THIS_NORM_PIXEL(endImage), progress);
}
