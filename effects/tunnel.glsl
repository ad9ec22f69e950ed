// Tunnel: coloured rings rushing towards the viewer, in the Shadertoy style (mainImage, iTime,
// iResolution); glfx imports it on the fly.
void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 p = (2.0 * fragCoord - iResolution.xy) / iResolution.y;
    float r = length(p) + 1e-3;
    float a = atan(p.y, p.x);
    float depth = 0.6 / r + iTime * 1.5;
    float rings = 0.5 + 0.5 * cos(depth * 6.2831853);
    float spokes = 0.5 + 0.5 * cos(a * 6.0 + iTime);
    vec3 col = 0.5 + 0.5 * cos(vec3(0.0, 2.0, 4.0) + depth + spokes);
    fragColor = vec4(col * rings * smoothstep(0.0, 0.3, r), 1.0);
}
