varying vec2 scaled;

void main() {
    isf_vertShaderInit();
    scaled = isf_FragNormCoord * scale;
}
