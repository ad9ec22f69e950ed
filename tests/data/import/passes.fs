/*{
    "ISFVSN": "2",
    "DESCRIPTION": "A quarter-size pass and a persistent accumulator read by the last pass.",
    "CATEGORIES": ["Stylize"],
    "INPUTS": [
        { "NAME": "inputImage", "TYPE": "image" },
        { "NAME": "divisor", "TYPE": "long", "VALUES": [2, 4, 8], "LABELS": ["Half", "Quarter", "Eighth"], "DEFAULT": 4 }
    ],
    "PASSES": [
        { "TARGET": "small", "WIDTH": "$WIDTH / $divisor", "HEIGHT": "floor($HEIGHT / $divisor)" },
        { "TARGET": "acc", "PERSISTENT": true },
        { }
    ]
}*/

void main() {
    if (PASSINDEX == 0) {
        gl_FragColor = vec4(RENDERSIZE / 1000.0, 0.0, 1.0);
    } else if (PASSINDEX == 1) {
        // 16/255 more each frame, exact in 8 bits.
        gl_FragColor = IMG_THIS_PIXEL(acc) + vec4(16.0 / 255.0);
    } else {
        gl_FragColor = vec4(IMG_SIZE(small).x / 1000.0, IMG_NORM_PIXEL(small, vec2(0.5)).g, IMG_THIS_PIXEL(acc).r, 1.0);
    }
}
