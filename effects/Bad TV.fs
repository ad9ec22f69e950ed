/*{
    "ISFVSN": "2",
    "DESCRIPTION": "An old television: rolling picture, colour fringes, scan lines and snow.",
    "CREDIT": "glfx",
    "VSN": "1.0",
    "CATEGORIES": ["Stylize", "Retro"],
    "INPUTS": [
        { "NAME": "inputImage", "TYPE": "image" },
        { "NAME": "noise", "LABEL": "Noise", "TYPE": "float", "DEFAULT": 0.2, "MIN": 0.0, "MAX": 1.0 },
        { "NAME": "lines", "LABEL": "Scan lines", "TYPE": "float", "DEFAULT": 0.3, "MIN": 0.0, "MAX": 1.0 },
        { "NAME": "fringe", "LABEL": "Fringe", "TYPE": "float", "DEFAULT": 3.0, "MIN": 0.0, "MAX": 20.0 },
        { "NAME": "roll", "LABEL": "Roll", "TYPE": "bool", "DEFAULT": false }
    ]
}*/

float hash(vec2 p) {
    return fract(sin(dot(p, vec2(12.9898, 78.233))) * 43758.5453);
}

void main() {
    vec2 uv = isf_FragNormCoord;
    if (roll)
        uv.y = fract(uv.y + TIME * 0.25);
    vec2 shift = vec2(fringe / RENDERSIZE.x, 0.0);
    vec4 c = IMG_NORM_PIXEL(inputImage, uv);
    c.r = IMG_NORM_PIXEL(inputImage, uv + shift).r;
    c.b = IMG_NORM_PIXEL(inputImage, uv - shift).b;
    float line = 0.5 + 0.5 * sin(gl_FragCoord.y * 3.14159);
    c.rgb *= 1.0 - lines * line;
    float snow = hash(gl_FragCoord.xy + vec2(TIME * 61.0, TIME * 17.0));
    c.rgb = mix(c.rgb, vec3(snow), noise * snow);
    gl_FragColor = c;
}
