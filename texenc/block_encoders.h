#pragma once
// Texture block encoding kernels: the CoCg half of YCoCg-DXT5 blocks and DXT1 colour
// blocks, with their supporting routines. Stand-alone leaf routines on single-precision
// values in 0..1 (8-bit values / 255); they keep no state, allocate nothing and may be
// called from any thread. Output halves are the 64-bit little-endian words of the DXT
// block formats: bits 0-15 colour 0, bits 16-31 colour 1, bits 32-63 sixteen 2-bit
// indices (pixel i at bit 32 + 2i).
//
// Instruction sets: the CoCg block routine needs AVX and FMA, the endpoint quantisers
// FMA and SSE4.1, the DXT1 packers SSE4.1, the rest SSE2 only. Nothing here tests the
// processor: a caller checks texenc_cpu_supported() once before using them.
#include <cstdint>

// The processor offers AVX, FMA and SSE4.1 (everything these routines use).
bool texenc_cpu_supported();

// Input of the CoCg block routine: 16 Co values (pixels in raster order), 16 Cg values,
// then the bounding box: minimum Co, minimum Cg, maximum Co, maximum Cg.
struct CocgBlockInput {
    float co[16];
    float cg[16];
    float box[4];
};

// The CoCg colour half of a YCoCg-DXT5 block. A colour holds Co in bits 11-15, Cg in
// bits 5-10 and the scale code in bits 0-4 (code 3: scale 4, 1: scale 2, 0: scale 1,
// chosen by the box's largest distance from the centre 128/255: below 32/255, below
// 64/255, else). Colour 0 is the quantised (inset) maximum, colour 1 the minimum.
// Precondition: the 16 pixels share one CoCg value; the index of the first pixel's
// nearest palette entry is written for all 16.
uint64_t texenc_encode_cocg_block(const CocgBlockInput& in);

// The scale code (0, 1 or 3) of a CoCg bounding box.
uint32_t texenc_cocg_scale_code(const float box[4]);

// Endpoint quantisers for scale 1, 2 and 4: the box (min Co, min Cg, max Co, max Cg)
// scaled about the centre, then inset by (max - min) / 16 - 1/510 per channel
// ("inset"), or widened by 1/510 each way ("widened"), then quantised to 5 bits (Co)
// and 6 bits (Cg) by truncate(v x 31 + 0.5), truncate(v x 63 + 0.5), clamped. Result:
// colour 0 (the maximum) in bits 0-15 and colour 1 (the minimum) in bits 16-31, each
// Co << 11 | Cg << 5 with the scale code bits left 0.
uint32_t texenc_quantize_cocg_inset_scale1(const float box[4]);
uint32_t texenc_quantize_cocg_inset_scale2(const float box[4]);
uint32_t texenc_quantize_cocg_inset_scale4(const float box[4]);
uint32_t texenc_quantize_cocg_widened_scale1(const float box[4]);
uint32_t texenc_quantize_cocg_widened_scale2(const float box[4]);
uint32_t texenc_quantize_cocg_widened_scale4(const float box[4]);

// DXT1 colour block from two endpoints and 16 indices (0..3). Float form: each channel
// limited to 0..1, times 31, 63, 31, plus 0.5, truncated; 5:6:5 form: the bytes hold
// the 5-, 6- and 5-bit values (higher bits ignored). Equal colours give colour 1 = 0
// and all indices 0; colour 0 below colour 1 swaps them and exchanges indices 0<->1
// and 2<->3, so the four-colour mode always holds.
uint64_t texenc_pack_dxt1_float(const float endpoint0[3], const float endpoint1[3], const uint8_t indices[16]);
uint64_t texenc_pack_dxt1_565(const uint8_t endpoint0[3], const uint8_t endpoint1[3], const uint8_t indices[16]);

// Projection of N pixels (records r, g, b, a of four floats) on an axis (three
// floats): out[i] = r x axis[0] + g x axis[1] + b x axis[2] for i < N, written in
// groups of four, the lanes from N up to the next multiple of 4 set to 0.
void texenc_project_2(const float* pixels, const float axis[3], float* out);
void texenc_project_3(const float* pixels, const float axis[3], float* out);
void texenc_project_4(const float* pixels, const float axis[3], float* out);
void texenc_project_5(const float* pixels, const float axis[3], float* out);
void texenc_project_6(const float* pixels, const float axis[3], float* out);
void texenc_project_7(const float* pixels, const float axis[3], float* out);
void texenc_project_8(const float* pixels, const float axis[3], float* out);
void texenc_project_9(const float* pixels, const float axis[3], float* out);
void texenc_project_10(const float* pixels, const float axis[3], float* out);
void texenc_project_11(const float* pixels, const float axis[3], float* out);
void texenc_project_12(const float* pixels, const float axis[3], float* out);
void texenc_project_13(const float* pixels, const float axis[3], float* out);
void texenc_project_14(const float* pixels, const float axis[3], float* out);
void texenc_project_15(const float* pixels, const float axis[3], float* out);
void texenc_project_16(const float* pixels, const float axis[3], float* out);

// Range of 16 alpha bytes for the six-value alpha mode: the minimum ignoring bytes
// equal to 0 and the maximum ignoring bytes equal to 255 (255 and 0 when none count).
void texenc_alpha_range(const uint8_t alpha[16], uint8_t* minimum, uint8_t* maximum);

// Weights of the four DXT1 palette entries for a least-squares endpoint fit. Endpoint
// records are (r, g, b, w). Entry k takes share a_k of endpoint 0 and b_k of endpoint
// 1, a = (1, 0, 2/3, 1/3), b = 1 - a.
struct Dxt1PaletteWeights {
    float from0[4][4];  // per entry: endpoint 0's r, g, b times a_k, and w times a_k^2
    float from1[4][4];  // per entry: endpoint 1's r, g, b times b_k, and w times b_k^2
    float cross[4];     // 2/9 w0, 2/9 w1, their sum, 0 (the a_k b_k terms of entries 2, 3)
};
void texenc_palette_weights(const float endpoint0[4], const float endpoint1[4], Dxt1PaletteWeights* out);
