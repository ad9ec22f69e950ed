// The input inverted in red, iTime / 10 in green, the height from the bottom in blue.
void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 uv = fragCoord / iResolution.xy;
    vec4 c = texture(iChannel0, uv);
    fragColor = vec4(1.0 - c.r, iTime / 10.0, uv.y, 0.0);
}
