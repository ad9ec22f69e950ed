/*{
    "ISFVSN": "2",
    "DESCRIPTION": "Shows the time uniforms as colours: red TIME / 10, green FRAMEINDEX / 100, blue TIMEDELTA * 10.",
    "CATEGORIES": ["Generator"],
    "INPUTS": []
}*/

void main() {
    gl_FragColor = vec4(TIME / 10.0, float(FRAMEINDEX) / 100.0, TIMEDELTA * 10.0, 1.0);
}
