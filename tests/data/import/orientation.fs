/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Red in the bottom half by the normalised coordinate, green in the bottom-left quarter by gl_FragCoord, blue RENDERSIZE.x / 1000.",
    "CATEGORIES": ["Generator"]
}*/

void main() {
    float red = isf_FragNormCoord.y < 0.5 ? 1.0 : 0.0;
    float green = gl_FragCoord.x < RENDERSIZE.x * 0.5 && gl_FragCoord.y < RENDERSIZE.y * 0.5 ? 1.0 : 0.0;
    gl_FragColor = vec4(red, green, RENDERSIZE.x / 1000.0, 1.0);
}
