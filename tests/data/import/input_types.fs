/*{
    "ISFVSN": "2.0",
    "DESCRIPTION": "One input of each kind; the picture shows the one that Show picks.",
    "CATEGORIES": ["Generator"],
    "INPUTS": [
        { "NAME": "level", "LABEL": "Level", "TYPE": "float", "DEFAULT": 0.25, "MIN": -1.0, "MAX": 2.0 },
        { "NAME": "flag", "LABEL": "Flag", "TYPE": "bool", "DEFAULT": true },
        { "NAME": "pulse", "TYPE": "event" },
        { "NAME": "show", "LABEL": "Show", "TYPE": "long", "VALUES": [10, 20, 40, 80, 90], "LABELS": ["Level", "Flag", "Tint", "Spot", "Pixel spot"], "DEFAULT": 10 },
        { "NAME": "tint", "LABEL": "Tint", "TYPE": "color", "DEFAULT": [0.2, 0.4, 0.6, 0.5] },
        { "NAME": "solid", "LABEL": "Solid", "TYPE": "color", "DEFAULT": [1.0, 0.0, 0.0, 1.0] },
        { "NAME": "spot", "LABEL": "Spot", "TYPE": "point2D", "DEFAULT": [0.25, 0.75], "MIN": [0.0, 0.0], "MAX": [1.0, 1.0] },
        { "NAME": "pixelSpot", "LABEL": "Pixel spot", "TYPE": "point2D", "DEFAULT": [480.0, 270.0] },
        { "NAME": "time", "LABEL": "Own time", "TYPE": "float", "DEFAULT": 0.5 }
    ]
}*/

void main() {
    vec4 c = vec4(0.0, 0.0, 0.0, solid.a);
    if (show == 10)
        c.r = level;
    else if (show == 20)
        c.r = flag ? 1.0 : 0.0;
    else if (show == 40)
        c = tint;
    else if (show == 80)
        c.rg = spot;
    else if (show == 90)
        c.rg = pixelSpot / RENDERSIZE;
    c.b = pulse ? 1.0 : c.b;
    c.g += time * 0.0;
    gl_FragColor = c;
}
