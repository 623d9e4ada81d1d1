#include "platform/d3d9/gl_shader_gen.h"

#include <sstream>

size_t FixedFunctionKeyHash::operator()(const FixedFunctionKey& key) const {
  // FNV-1a over the key's bytes; the key is zero-filled, so padding never varies.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&key);
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < sizeof key; ++i) {
    h ^= bytes[i];
    h *= 1099511628211ull;
  }
  return static_cast<size_t>(h);
}

namespace {

bool argUsesTexture(DWORD arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; }

// Which of the three arguments an operation reads: bit 0 arg0, bit 1 arg1, bit 2 arg2.
unsigned argsUsed(DWORD op) {
  switch (op) {
    case D3DTOP_DISABLE: return 0;
    case D3DTOP_SELECTARG1:
    case D3DTOP_PREMODULATE: return 2;
    case D3DTOP_SELECTARG2: return 4;
    case D3DTOP_MULTIPLYADD:
    case D3DTOP_LERP: return 7;
    default: return 6;
  }
}

// Operations that read the stage's texture even when no argument names it.
bool opReadsTexture(DWORD op) { return op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM; }

uint8_t materialSource(DWORD source, bool colorVertex, DWORD fvf) {
  if (!colorVertex) return 0;
  if (source == D3DMCS_COLOR1 && (fvf & D3DFVF_DIFFUSE)) return 1;
  if (source == D3DMCS_COLOR2 && (fvf & D3DFVF_SPECULAR)) return 2;
  return 0;
}

// Whether an argument reads black colour: the stage's constant or the texture factor while
// its red, green and blue are zero (a light that is off; a lamp that does not flicker).
bool readsBlack(uint8_t arg, DWORD constant, DWORD textureFactor) {
  if (arg == D3DTA_CONSTANT) return (constant & 0x00FFFFFF) == 0;
  if (arg == D3DTA_TFACTOR) return (textureFactor & 0x00FFFFFF) == 0;
  return false;
}

// A stage whose colour is scaled by black, adds a black share of an argument or mixes towards
// one by black gives a known colour without its other arguments: it becomes a plain selection,
// so that its program does not sample a texture whose every texel would be multiplied by zero.
void selectWhatABlackArgumentLeaves(StageKey& k, DWORD constant, DWORD textureFactor) {
  const auto black = [&](uint8_t arg) { return readsBlack(arg, constant, textureFactor); };
  switch (k.colorOp) {
    case D3DTOP_MODULATE:
    case D3DTOP_MODULATE2X:
    case D3DTOP_MODULATE4X:
      if (black(k.colorArg2)) k.colorArg1 = k.colorArg2;
      else if (!black(k.colorArg1))
        return;
      break;
    case D3DTOP_MULTIPLYADD:
      if (!black(k.colorArg1) && !black(k.colorArg2)) return;
      k.colorArg1 = k.colorArg0;
      break;
    case D3DTOP_LERP:
      if (!black(k.colorArg0)) return;
      k.colorArg1 = k.colorArg2;
      break;
    default: return;
  }
  k.colorOp = D3DTOP_SELECTARG1;
}

}  // namespace

FixedFunctionKey buildFixedFunctionKey(const DeviceState& state, DWORD fvf, const bool textureBound[kMaxTextureStages],
                                       const D3DLIGHTTYPE* enabledLights, unsigned lightCount) {
  FixedFunctionKey key;
  const auto& rs = state.renderStates;
  // Only the bits that change the program: position kind, normal, colours, coordinate sets
  // and their sizes.
  key.fvf = fvf & (D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK |
                   0xFFFF0000u);
  key.pretransformed = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  key.lighting = !key.pretransformed && rs[D3DRS_LIGHTING] != 0;
  if (key.lighting) {
    key.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
    key.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] != 0;
    const bool colorVertex = rs[D3DRS_COLORVERTEX] != 0;
    key.diffuseSource = materialSource(rs[D3DRS_DIFFUSEMATERIALSOURCE], colorVertex, fvf);
    key.ambientSource = materialSource(rs[D3DRS_AMBIENTMATERIALSOURCE], colorVertex, fvf);
    key.specularSource = materialSource(rs[D3DRS_SPECULARMATERIALSOURCE], colorVertex, fvf);
    key.emissiveSource = materialSource(rs[D3DRS_EMISSIVEMATERIALSOURCE], colorVertex, fvf);
    key.lightCount = static_cast<uint8_t>(lightCount > kMaxActiveLights ? kMaxActiveLights : lightCount);
    for (unsigned i = 0; i < key.lightCount; ++i) key.lightTypes[i] = static_cast<uint8_t>(enabledLights[i]);
  }
  key.specularEnable = rs[D3DRS_SPECULARENABLE] != 0;
  if (rs[D3DRS_FOGENABLE]) {
    if (rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE) {
      key.fog = 2;
      key.fogFormula = static_cast<uint8_t>(rs[D3DRS_FOGTABLEMODE]);
    } else if (rs[D3DRS_FOGVERTEXMODE] != D3DFOG_NONE && !key.pretransformed) {
      key.fog = 1;
      key.fogFormula = static_cast<uint8_t>(rs[D3DRS_FOGVERTEXMODE]);
      key.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
    } else {
      key.fog = 3;
    }
  }
  if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS)
    key.alphaFunc = static_cast<uint8_t>(rs[D3DRS_ALPHAFUNC]);

  const unsigned sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (unsigned s = 0; s < kMaxTextureStages; ++s) {
    const auto& ss = state.stageStates[s];
    StageKey& k = key.stages[s];
    const DWORD colorOp = ss[D3DTSS_COLOROP];
    if (colorOp == D3DTOP_DISABLE || colorOp > D3DTOP_LERP) {
      k.colorOp = D3DTOP_DISABLE;
      break;
    }
    k.colorOp = static_cast<uint8_t>(colorOp);
    k.colorArg0 = static_cast<uint8_t>(ss[D3DTSS_COLORARG0]);
    k.colorArg1 = static_cast<uint8_t>(ss[D3DTSS_COLORARG1]);
    k.colorArg2 = static_cast<uint8_t>(ss[D3DTSS_COLORARG2]);
    DWORD alphaOp = ss[D3DTSS_ALPHAOP];
    if (alphaOp > D3DTOP_LERP) alphaOp = D3DTOP_DISABLE;
    k.alphaOp = static_cast<uint8_t>(alphaOp);
    k.alphaArg0 = static_cast<uint8_t>(ss[D3DTSS_ALPHAARG0]);
    k.alphaArg1 = static_cast<uint8_t>(ss[D3DTSS_ALPHAARG1]);
    k.alphaArg2 = static_cast<uint8_t>(ss[D3DTSS_ALPHAARG2]);
    k.resultArg = (ss[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP ? 1 : 0;
    selectWhatABlackArgumentLeaves(k, ss[D3DTSS_CONSTANT], rs[D3DRS_TEXTUREFACTOR]);
    // Drop arguments the operations do not read, so that stale values do not split programs.
    const unsigned cu = argsUsed(k.colorOp), au = argsUsed(k.alphaOp);
    if (!(cu & 1)) k.colorArg0 = 0;
    if (!(cu & 2)) k.colorArg1 = 0;
    if (!(cu & 4)) k.colorArg2 = 0;
    if (!(au & 1)) k.alphaArg0 = 0;
    if (!(au & 2)) k.alphaArg1 = 0;
    if (!(au & 4)) k.alphaArg2 = 0;
    const bool readsTexture = argUsesTexture(k.colorArg0) || argUsesTexture(k.colorArg1) ||
                              argUsesTexture(k.colorArg2) || argUsesTexture(k.alphaArg0) ||
                              argUsesTexture(k.alphaArg1) || argUsesTexture(k.alphaArg2) || opReadsTexture(k.colorOp) ||
                              opReadsTexture(k.alphaOp);
    if (readsTexture && textureBound[s]) {
      k.hasTexture = 1;
      const DWORD tci = ss[D3DTSS_TEXCOORDINDEX];
      k.coordMode = static_cast<uint8_t>((tci >> 16) & 0xFF);
      k.coordSet = static_cast<uint8_t>(tci & 0xFF);
      if (k.coordMode == 0 && k.coordSet >= sets) k.coordSet = 0xFF;  // no such set: coordinates read as zero
      const DWORD ttf = ss[D3DTSS_TEXTURETRANSFORMFLAGS];
      k.transformCount = static_cast<uint8_t>(ttf & 0xFF);
      if (k.transformCount > 4) k.transformCount = 0;
      k.projected = (ttf & D3DTTFF_PROJECTED) && k.transformCount > 1;
    }
  }
  return key;
}

namespace {

const char* kCompare[] = {"false", "false", "<", "==", "<=", ">", "!=", ">=", "true"};

std::string argExpr(unsigned stage, unsigned arg) {
  std::string base;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: base = "vDiffuse"; break;
    case D3DTA_CURRENT: base = "cur"; break;
    case D3DTA_TEXTURE: base = "tex" + std::to_string(stage); break;
    case D3DTA_TFACTOR: base = "uTFactor"; break;
    case D3DTA_SPECULAR: base = "vSpecular"; break;
    case D3DTA_TEMP: base = "temp"; break;
    case D3DTA_CONSTANT: base = "uConstant[" + std::to_string(stage) + "]"; break;
    default: base = "vec4(0.0)"; break;
  }
  if (arg & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
  if (arg & D3DTA_ALPHAREPLICATE) base = base + ".aaaa";
  return base;
}

// The operation on vec4 arguments a0, a1, a2; the caller takes .rgb or .a.
std::string opExpr(unsigned op) {
  switch (op) {
    case D3DTOP_SELECTARG1:
    case D3DTOP_PREMODULATE: return "a1";
    case D3DTOP_SELECTARG2: return "a2";
    case D3DTOP_MODULATE: return "a1 * a2";
    case D3DTOP_MODULATE2X: return "a1 * a2 * 2.0";
    case D3DTOP_MODULATE4X: return "a1 * a2 * 4.0";
    case D3DTOP_ADD: return "a1 + a2";
    case D3DTOP_ADDSIGNED: return "a1 + a2 - vec4(0.5)";
    case D3DTOP_ADDSIGNED2X: return "(a1 + a2 - vec4(0.5)) * 2.0";
    case D3DTOP_SUBTRACT: return "a1 - a2";
    case D3DTOP_ADDSMOOTH: return "a1 + a2 - a1 * a2";
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(a2, a1, vDiffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(a2, a1, texA)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(a2, a1, uTFactor.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return "a1 + a2 * (1.0 - texA)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(a2, a1, cur.a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return "a1 + a1.aaaa * a2";
    case D3DTOP_MODULATECOLOR_ADDALPHA: return "a1 * a2 + a1.aaaa";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return "(1.0 - a1.aaaa) * a2 + a1";
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return "(vec4(1.0) - a1) * a2 + a1.aaaa";
    case D3DTOP_DOTPRODUCT3: return "vec4(dot((a1.rgb - 0.5) * 2.0, (a2.rgb - 0.5) * 2.0))";
    case D3DTOP_MULTIPLYADD: return "a0 + a1 * a2";
    case D3DTOP_LERP: return "mix(a2, a1, a0)";
    default: return "a1";  // the bump-mapping operations are not emulated
  }
}

std::string fogFactor(unsigned formula, const std::string& d) {
  switch (formula) {
    case D3DFOG_EXP: return "exp(-uFogDensity * " + d + ")";
    case D3DFOG_EXP2: return "exp(-(uFogDensity * " + d + ") * (uFogDensity * " + d + "))";
    default: return "(uFogEnd - " + d + ") / (uFogEnd - uFogStart)";
  }
}

}  // namespace

namespace {

// The rasteriser sets up and interpolates every value a vertex shader hands on, used or not;
// the colour, fog and depth values that the fragment shader of a state never reads stay
// behind as the vertex shader's own variables.
std::string dropUnusedVaryings(std::string& vertex, std::string fragment) {
  const std::string body = fragment.substr(fragment.find("void main()"));
  for (const auto& [type, name] : {std::pair{"vec4", "vSpecular"}, {"float", "vFog"}, {"float", "vEyeZ"}}) {
    if (body.find(name) != std::string::npos) continue;
    const std::string in = std::string("in ") + type + " " + name + ";\n";
    const std::string out = std::string("out ") + type + " " + name + ";\n";
    if (const size_t at = fragment.find(in); at != std::string::npos) fragment.erase(at, in.size());
    if (const size_t at = vertex.find(out); at != std::string::npos)
      vertex.replace(at, out.size(), std::string(type) + " " + name + ";\n");
  }
  return fragment;
}

}  // namespace

GeneratedShaders generateFixedFunctionShaders(const FixedFunctionKey& key) {
  std::ostringstream vs, fs;
  const uint32_t fvf = key.fvf;
  const unsigned sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  const bool hasNormal = (fvf & D3DFVF_NORMAL) != 0;
  const bool hasDiffuse = (fvf & D3DFVF_DIFFUSE) != 0;
  const bool hasSpecular = (fvf & D3DFVF_SPECULAR) != 0;
  unsigned stageCount = 0;
  while (stageCount < kMaxTextureStages && key.stages[stageCount].colorOp != D3DTOP_DISABLE &&
         key.stages[stageCount].colorOp != 0)
    ++stageCount;
  bool needView = key.fog == 1 || key.fog == 2;
  bool needNormal = key.lighting;
  for (unsigned s = 0; s < stageCount; ++s) {
    const StageKey& k = key.stages[s];
    if (!k.hasTexture) continue;
    if (k.coordMode != 0) needView = true;
    if (k.coordMode == 1 || k.coordMode >= 3) needNormal = true;
  }
  if (key.lighting) needView = true;

  // ---- vertex shader ----
  vs << "#version 330 core\n";
  vs << "layout(location = 0) in vec4 inPosition;\n";
  if (hasNormal) vs << "layout(location = 1) in vec3 inNormal;\n";
  if (hasDiffuse) vs << "layout(location = 2) in vec4 inDiffuse;\n";
  if (hasSpecular) vs << "layout(location = 3) in vec4 inSpecular;\n";
  for (unsigned i = 0; i < sets && i < 8; ++i) vs << "layout(location = " << (4 + i) << ") in vec4 inTex" << i << ";\n";
  vs << "uniform mat4 uWorldView;\nuniform mat4 uProjection;\nuniform vec4 uScreen;\nuniform vec2 uPixelOffset;\n";
  vs << "uniform mat4 uTexMatrix[8];\nuniform mat3 uNormalMatrix;\n";
  if (key.lighting) {
    vs << "uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;\nuniform float uMatPower;\n"
          "uniform vec4 uGlobalAmbient;\n"
          "uniform vec4 uLightDiffuse[8], uLightSpecular[8], uLightAmbient[8];\n"
          "uniform vec3 uLightPosition[8], uLightDirection[8], uLightAttenuation[8], uLightSpot[8];\n"
          "uniform float uLightRange[8];\n";
  }
  if (key.fog == 1) vs << "uniform float uFogStart, uFogEnd, uFogDensity;\n";
  vs << "out vec4 vDiffuse;\nout vec4 vSpecular;\nout float vFog;\nout float vEyeZ;\n";
  for (unsigned s = 0; s < stageCount; ++s)
    if (key.stages[s].hasTexture) vs << "out vec2 vTex" << s << ";\n";
  vs << "void main() {\n";
  vs << "  vec4 diffuseIn = " << (hasDiffuse ? "inDiffuse" : "vec4(1.0)") << ";\n";
  vs << "  vec4 specularIn = " << (hasSpecular ? "inSpecular" : "vec4(0.0)") << ";\n";
  if (key.pretransformed) {
    // Screen-space vertices: x, y in pixels of the target (y downwards), z in 0..1,
    // rhw = 1/w. Multiplying back by w keeps perspective-correct interpolation. The rows are
    // raised by a 64th of a pixel: GL counts rows upwards, and a pixel centre lying exactly on
    // an edge then falls to the side the device's top-left rule gives it.
    vs << "  float w = inPosition.w != 0.0 ? 1.0 / inPosition.w : 1.0;\n"
          "  vec2 ndc = vec2((inPosition.x + 0.5 - uScreen.x) / uScreen.z * 2.0 - 1.0,\n"
          "                  1.0 - (inPosition.y + 0.484375 - uScreen.y) / uScreen.w * 2.0);\n"
          "  gl_Position = vec4(ndc * w, (inPosition.z * 2.0 - 1.0) * w, w);\n"
          "  vec3 P = vec3(0.0);\n  vEyeZ = inPosition.z;\n";
  } else {
    vs << "  vec4 view = uWorldView * vec4(inPosition.xyz, 1.0);\n"
          "  vec3 P = view.xyz;\n  vEyeZ = P.z;\n"
          "  vec4 clip = uProjection * view;\n"
          // The device's depth range is 0..w; GL's is -w..w. Pixel centres sit on integer
          // coordinates, half a pixel up and left of GL's, so the picture moves half a pixel
          // right and down (less the 64th of a pixel that keeps the top-left rule, above).
          "  clip.z = clip.z * 2.0 - clip.w;\n"
          "  clip.xy += vec2(uPixelOffset.x, -uPixelOffset.y * 0.96875) * clip.w;\n"
          "  gl_Position = clip;\n";
  }
  if (needNormal) {
    if (hasNormal && !key.pretransformed) {
      vs << "  vec3 N = uNormalMatrix * inNormal;\n";
      vs << (key.normalizeNormals || !key.lighting ? "  N = length(N) > 0.0 ? normalize(N) : N;\n" : "");
    } else {
      vs << "  vec3 N = vec3(0.0);\n";
    }
  }
  if (key.lighting) {
    auto src = [&](uint8_t s, const char* material) -> std::string {
      return s == 1 ? "diffuseIn" : s == 2 ? "specularIn" : material;
    };
    vs << "  vec4 Md = " << src(key.diffuseSource, "uMatDiffuse") << ";\n";
    vs << "  vec4 Ma = " << src(key.ambientSource, "uMatAmbient") << ";\n";
    vs << "  vec4 Ms = " << src(key.specularSource, "uMatSpecular") << ";\n";
    vs << "  vec4 Me = " << src(key.emissiveSource, "uMatEmissive") << ";\n";
    vs << "  vec3 V = "
       << (key.localViewer ? "length(P) > 0.0 ? normalize(-P) : vec3(0.0, 0.0, -1.0)" : "vec3(0.0, 0.0, -1.0)")
       << ";\n";
    vs << "  vec3 ambientSum = vec3(0.0), diffuseSum = vec3(0.0), specularSum = vec3(0.0);\n";
    for (unsigned i = 0; i < key.lightCount; ++i) {
      const unsigned type = key.lightTypes[i];
      vs << "  {\n";
      if (type == D3DLIGHT_DIRECTIONAL) {
        vs << "    vec3 L = -uLightDirection[" << i << "];\n    float att = 1.0;\n";
      } else {
        vs << "    vec3 toLight = uLightPosition[" << i << "] - P;\n"
           << "    float d = length(toLight);\n"
           << "    vec3 L = d > 0.0 ? toLight / d : vec3(0.0);\n"
           << "    vec3 a = uLightAttenuation[" << i << "];\n"
           << "    float denom = a.x + a.y * d + a.z * d * d;\n"
           << "    float att = d > uLightRange[" << i << "] ? 0.0 : (denom > 0.0 ? 1.0 / denom : 1.0);\n";
        if (type == D3DLIGHT_SPOT) {
          vs << "    float rho = dot(uLightDirection[" << i << "], -L);\n"
             << "    vec3 sp = uLightSpot[" << i << "];\n"
             << "    float spot = rho > sp.x ? 1.0 : (rho <= sp.y ? 0.0 : "
                "pow(clamp((rho - sp.y) / max(sp.x - sp.y, 1e-6), 0.0, 1.0), sp.z));\n"
             << "    att *= spot;\n";
        }
      }
      vs << "    float NdotL = dot(N, L);\n"
         << "    ambientSum += att * uLightAmbient[" << i << "].rgb;\n"
         << "    if (NdotL > 0.0) {\n"
         << "      diffuseSum += att * NdotL * uLightDiffuse[" << i << "].rgb;\n"
         << "      vec3 H = normalize(V + L);\n"
         << "      float NdotH = max(dot(N, H), 0.0);\n"
         << "      if (uMatPower > 0.0) specularSum += att * pow(NdotH, uMatPower) * uLightSpecular[" << i << "].rgb;\n"
         << "    }\n  }\n";
    }
    vs << "  vDiffuse = vec4(clamp(Me.rgb + Ma.rgb * (uGlobalAmbient.rgb + ambientSum) + Md.rgb * diffuseSum, 0.0, 1.0), "
          "clamp(Md.a, 0.0, 1.0));\n";
    vs << "  vSpecular = vec4(clamp(Ms.rgb * specularSum, 0.0, 1.0), specularIn.a);\n";
  } else {
    vs << "  vDiffuse = diffuseIn;\n  vSpecular = specularIn;\n";
  }
  if (key.fog == 1) {
    const std::string d = key.rangeFog ? "length(P)" : "P.z";
    vs << "  vFog = clamp(" << fogFactor(key.fogFormula, d) << ", 0.0, 1.0);\n";
  } else {
    vs << "  vFog = specularIn.a;\n";
  }
  for (unsigned s = 0; s < stageCount; ++s) {
    const StageKey& k = key.stages[s];
    if (!k.hasTexture) continue;
    vs << "  {\n    vec4 tc;\n";
    switch (k.coordMode) {
      case 1: vs << "    tc = vec4(N, 1.0);\n"; break;
      case 2: vs << "    tc = vec4(P, 1.0);\n"; break;
      case 3: vs << "    tc = vec4(reflect(length(P) > 0.0 ? normalize(P) : vec3(0.0, 0.0, 1.0), N), 1.0);\n"; break;
      case 4:
        // Sphere map from the view-space reflection vector; the viewer looks along +Z.
        vs << "    vec3 R = reflect(length(P) > 0.0 ? normalize(P) : vec3(0.0, 0.0, 1.0), N);\n"
              "    float m = 2.0 * sqrt(R.x * R.x + R.y * R.y + (R.z - 1.0) * (R.z - 1.0));\n"
              "    tc = m > 0.0 ? vec4(R.x / m + 0.5, -R.y / m + 0.5, 1.0, 0.0) : vec4(0.5, 0.5, 1.0, 0.0);\n";
        break;
      default:
        if (k.coordSet == 0xFF || k.coordSet >= sets) {
          vs << "    tc = vec4(0.0, 0.0, 1.0, 0.0);\n";
        } else {
          // Missing components are filled so that a texture matrix's row after the last
          // given component acts as a translation.
          const unsigned n = fvfTexCoordSize(fvf, k.coordSet);
          const std::string t = "inTex" + std::to_string(k.coordSet);
          if (n == 1) vs << "    tc = vec4(" << t << ".x, 1.0, 0.0, 0.0);\n";
          else if (n == 2)
            vs << "    tc = vec4(" << t << ".xy, 1.0, 0.0);\n";
          else if (n == 3)
            vs << "    tc = vec4(" << t << ".xyz, 1.0);\n";
          else
            vs << "    tc = " << t << ";\n";
        }
        break;
    }
    if (k.transformCount) {
      vs << "    tc = uTexMatrix[" << s << "] * tc;\n";
      if (k.projected) {
        const char* comp[] = {"x", "x", "y", "z", "w"};
        vs << "    tc = tc / (tc." << comp[k.transformCount] << " != 0.0 ? tc." << comp[k.transformCount]
           << " : 1.0);\n";
      }
    }
    vs << "    vTex" << s << " = tc.xy;\n  }\n";
  }
  vs << "}\n";

  // ---- fragment shader ----
  fs << "#version 330 core\n";
  fs << "in vec4 vDiffuse;\nin vec4 vSpecular;\nin float vFog;\nin float vEyeZ;\n";
  for (unsigned s = 0; s < stageCount; ++s)
    if (key.stages[s].hasTexture) fs << "in vec2 vTex" << s << ";\nuniform sampler2D uSampler" << s << ";\n";
  fs << "uniform vec4 uTFactor;\nuniform vec4 uConstant[8];\nuniform float uAlphaRef;\nuniform vec4 uFogColor;\n"
        "uniform float uFogStart, uFogEnd, uFogDensity;\n";
  fs << "out vec4 fragColour;\n";
  fs << "void main() {\n  vec4 cur = vDiffuse;\n  vec4 temp = vec4(0.0);\n";
  for (unsigned s = 0; s < stageCount; ++s) {
    const StageKey& k = key.stages[s];
    // A stage without a texture reads its texture argument as opaque white.
    if (k.hasTexture) fs << "  vec4 tex" << s << " = texture(uSampler" << s << ", vTex" << s << ".xy);\n";
    else
      fs << "  vec4 tex" << s << " = vec4(1.0);\n";
    fs << "  {\n    float texA = tex" << s << ".a;\n";
    fs << "    vec4 a0 = " << argExpr(s, k.colorArg0) << ", a1 = " << argExpr(s, k.colorArg1)
       << ", a2 = " << argExpr(s, k.colorArg2) << ";\n";
    fs << "    vec4 rc = clamp(" << opExpr(k.colorOp) << ", 0.0, 1.0);\n";
    if (k.colorOp == D3DTOP_DOTPRODUCT3) {
      // The dot product goes to every channel, alpha included.
      fs << "    vec4 res = rc;\n";
    } else if (k.alphaOp == D3DTOP_DISABLE || k.alphaOp == 0) {
      fs << "    vec4 res = vec4(rc.rgb, cur.a);\n";
    } else {
      fs << "    a0 = " << argExpr(s, k.alphaArg0) << "; a1 = " << argExpr(s, k.alphaArg1)
         << "; a2 = " << argExpr(s, k.alphaArg2) << ";\n";
      fs << "    float ra = clamp((" << opExpr(k.alphaOp) << ").a, 0.0, 1.0);\n";
      fs << "    vec4 res = vec4(rc.rgb, ra);\n";
    }
    fs << (k.resultArg ? "    temp = res;\n" : "    cur = res;\n") << "  }\n";
  }
  fs << "  vec4 colour = cur;\n";
  if (key.specularEnable) fs << "  colour.rgb = clamp(colour.rgb + vSpecular.rgb, 0.0, 1.0);\n";
  if (key.alphaFunc) {
    fs << "  float alphaByte = floor(colour.a * 255.0 + 0.5);\n";
    fs << "  if (!("
       << (key.alphaFunc == D3DCMP_NEVER ? std::string("false")
                                         : "alphaByte " + std::string(kCompare[key.alphaFunc]) + " uAlphaRef")
       << ")) discard;\n";
  }
  if (key.fog == 1 || key.fog == 3) {
    fs << "  colour.rgb = mix(uFogColor.rgb, colour.rgb, clamp(vFog, 0.0, 1.0));\n";
  } else if (key.fog == 2) {
    fs << "  float f = clamp(" << fogFactor(key.fogFormula, "vEyeZ") << ", 0.0, 1.0);\n";
    fs << "  colour.rgb = mix(uFogColor.rgb, colour.rgb, f);\n";
  }
  fs << "  fragColour = colour;\n}\n";
  (void)needView;
  std::string vertex = vs.str();
  std::string fragment = dropUnusedVaryings(vertex, fs.str());
  return GeneratedShaders{vertex, fragment};
}
