/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Turns every colour into its opposite; alpha stays.",
    "CREDIT": "glfx tests",
    "VSN": "1.0",
    "CATEGORIES": ["Color Effect", "Test"],
    "INPUTS": [
        { "NAME": "inputImage", "TYPE": "image" },
        { "NAME": "amount", "LABEL": "Amount", "TYPE": "float", "DEFAULT": 1.0, "MIN": 0.0, "MAX": 1.0 }
    ]
}*/

void main() {
    vec4 c = IMG_THIS_PIXEL(inputImage);
    gl_FragColor = vec4(mix(c.rgb, 1.0 - c.rgb, amount), c.a);
}
