#pragma once

#include <cstddef>
#include <cstdint>

// What each fuzz target does with one input; shared by the libFuzzer targets and by the
// regression test that replays every kept input.
namespace fraglane::fuzz {

// Opens the bytes as an archive, lists it and extracts every member; inflates them as a
// member's data, whole and streamed alike.
void Pk3Input(const uint8_t* data, size_t size);
// Reads the bytes as a settings file: every key the window reads, and the catalogue.
void ProfileInput(const uint8_t* data, size_t size);
// Reads the bytes as a TGA picture into a bitmap.
void TgaInput(const uint8_t* data, size_t size);
// Decodes the bytes as a JPEG picture.
void JpegInput(const uint8_t* data, size_t size);
// Scans the bytes as a map file for texture names, into a staging folder of its own.
void BspInput(const uint8_t* data, size_t size);
// Reads the bytes as a shader script, with a few wanted names prepared.
void ShaderInput(const uint8_t* data, size_t size);
// Builds the staging folder the bytes describe (files, folders, links, pipes, read-only
// files) and packs it as the repack does: every member must be a file of that folder, with
// its bytes, and nothing outside the folder may change. Odd sizes pack at the smallest.
void PackInput(const uint8_t* data, size_t size);
// Reads the bytes as what a server sends or leaves behind: a status answer, its log, the pid
// and end records, an rcon answer. What is shown must hold no control or bidirectional
// character, and never the rcon password.
void ServerInput(const uint8_t* data, size_t size);

}  // namespace fraglane::fuzz
