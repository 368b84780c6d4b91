#pragma once
// The snapshot conversion tree: one compressed movie sample in, the PNG or JPEG file's
// bytes out. Three branches: a pass-through of the sample; the decode branch (HAP
// decode, DXT decode, crop-box pad onto the display window, scale to the fitted size,
// background merge); the target branch (safe-area and video-area guides, conversion
// to the output pixel format, centred pad to the final size, the encoder).
//
// Ownership: the caller owns the tree (video_graph_tree_free) and the input frame;
// the output frame belongs to the encoder node. Threads: one at a time.
// Errors: std::runtime_error with fixed texts (std::bad_alloc for memory); a build
// that fails frees what it made.
#include <cstdint>

#include "processing/graph_tree.h"
#include "processing/snapshot_params.h"

// Prepares the parameters (snapshot_prepare_params) and builds the tree. Parameters
// whose pictures would need a plane over 4 GiB throw "Snapshot size too large".
VideoGraphTree* snapshot_graph_build(SnapshotParams* params);
// Runs the tree on one compressed sample (data format 0).
void snapshot_graph_run(VideoGraphTree* tree, VideoFrame* input);
// The encoded bytes of the last run (null before a run).
const VideoFrame* snapshot_output_frame(const VideoGraphTree* tree);
// Writes the encoded bytes to a new file (file_write_all): an empty output throws
// "Fail to write empty frame".
void snapshot_write_output(const VideoGraphTree* tree, const char16_t* path);
