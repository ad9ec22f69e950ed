// Every lookup the importer turns around, on an input that is one flat colour, and the uniforms
// the playground declares: red the input's red by texelFetch, green iChannelResolution's width in
// thousandths, blue 1 when textureLod, textureGrad, textureOffset, textureProj and textureSize
// agree with texture and iFrame, iFrameRate, iTimeDelta, iDate and iSampleRate hold what they
// should.
#if HW_PERFORMANCE == 0
#define STEPS 1
#else
#define STEPS 2
#endif

bool near(vec4 a, vec4 b) { return all(lessThan(abs(a - b), vec4(0.01))); }

void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 uv = fragCoord / iResolution.xy;
    vec4 plain = texture(iChannel0, uv);
    vec4 fetched = texelFetch(iChannel0, ivec2(fragCoord), 0);
    bool same = near(textureLod(iChannel0, uv, 0.0), plain)
        && near(textureGrad(iChannel0, uv, dFdx(uv), dFdy(uv)), plain)
        && near(textureOffset(iChannel0, uv, ivec2(1, -1)), plain)
        && near(textureProj(iChannel0, vec3(uv * 2.0, 2.0)), plain)
        && textureSize(iChannel0, 0) == ivec2(iChannelResolution[0].xy)
        && dFdy(fragCoord.y) > 0.0
        && iFrame == 12 && abs(iFrameRate - 24.0) < 0.01 && abs(iTimeDelta - 1.0 / 24.0) < 0.001
        && iDate.x > 2000.0 && iDate.y >= 0.0 && iDate.y <= 11.0 && iSampleRate > 0.0
        && STEPS == 2 && (uint(iFrame) & 4u) == 4u;
    fragColor = vec4(fetched.r, iChannelResolution[0].x / 1000.0, same ? 1.0 : 0.0, 1.0);
}
