/*{
    "ISFVSN": "2",
    "DESCRIPTION": "The size of the Mask layer in thousandths, and its colour under the pixel.",
    "CATEGORIES": ["Utility"],
    "INPUTS": [
        { "NAME": "inputImage", "TYPE": "image" },
        { "NAME": "mask", "LABEL": "Mask", "TYPE": "image" }
    ]
}*/

void main() {
    vec2 size = IMG_SIZE(mask);
    vec4 under = IMG_NORM_PIXEL(mask, isf_FragNormCoord);
    gl_FragColor = vec4(size.x / 1000.0, size.y / 1000.0, under.r, IMG_PIXEL(inputImage, gl_FragCoord.xy).a);
}
