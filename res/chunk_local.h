// chunk_local: the fixed record sizes and limits of the model group file
// format, which the chunk parser checks against and the loader's readers
// (mdl_decode.cpp, res_data.cpp) and the chunk tests step by; callers of
// chunk.h read records through its accessors instead.
#pragma once

#include <cstdint>

// "ZQT " model: the fixed part, a subset record, a blend record.
constexpr uint32_t CHUNK_MODEL_FIXED_SIZE = 112;
constexpr uint32_t CHUNK_MODEL_SUBSET_SIZE = 16;
constexpr uint32_t CHUNK_MODEL_BLEND_SIZE = 20;

// "BONE": the deepest push the token walk takes.
constexpr uint32_t CHUNK_BONE_MAX_DEPTH = 62;  // the walk needs two stack levels of its own

// "COLL": the fixed part and its records.
constexpr uint32_t CHUNK_COLL_FIXED_SIZE = 88;
constexpr uint32_t CHUNK_COLL_BOX_SIZE = 48;
constexpr uint32_t CHUNK_COLL_TRI_SIZE = 72;
constexpr uint32_t CHUNK_COLL_SHARED_SIZE = 80;
constexpr uint32_t CHUNK_COLL_LAYER_SIZE = 28;
constexpr uint32_t CHUNK_COLL_NODE_SIZE = 44;

// "CROP" record and "CAMR" key.
constexpr uint32_t CHUNK_CROP_REC_SIZE = 32;
constexpr uint32_t CHUNK_CAMR_KEY_SIZE = 16;

// "FLA ": the fixed part and the largest shape part.
constexpr uint32_t CHUNK_FLA_FIXED_SIZE = 56;
constexpr uint32_t CHUNK_FLA_PART_MAX_VERTS = 1798;
constexpr uint32_t CHUNK_FLA_PART_MAX_INDICES = 1799;
