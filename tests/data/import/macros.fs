/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Images reached through a macro, a GLSL 1.30 operator and a __VERSION__ branch: red the input's red, green its width in thousandths, blue 1 when the frame index modulo 4 is 0.",
    "CATEGORIES": ["Utility"],
    "INPUTS": [
        { "NAME": "inputImage", "TYPE": "image" }
    ]
}*/

#define SOURCE inputImage
#if __VERSION__ <= 120
varying vec2 unused;
#else
in vec2 unused;
#endif

void main() {
    vec4 c = IMG_THIS_PIXEL(SOURCE);
    float width = IMG_SIZE(SOURCE).x;
    gl_FragColor = vec4(c.r, width / 1000.0, FRAMEINDEX % 4 == 0 ? 1.0 : 0.0, 1.0);
}
