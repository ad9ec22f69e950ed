/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Its vertex shader hands the fragment shader a varying made from the normalised coordinate.",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        { "NAME": "scale", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0.0, "MAX": 1.0 }
    ]
}*/

varying vec2 scaled;

void main() {
    gl_FragColor = vec4(scaled, 0.0, 1.0);
}
