#include "capture/ffmpeg/jpeg_writer.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

// libjpeg's headers need <cstdio> before them, and jerror.h needs jpeglib.h.
#include <jpeglib.h>
//
#include <jerror.h>

namespace tovalen::ffmpeg::jpeg {

// libjpeg reports a failure by calling error_exit, which must not return: it jumps back to the
// setjmp of the call that failed, in a function that holds nothing to destroy.
struct JpegWriter::State {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  char error[JMSG_LENGTH_MAX]{};
  jpeg_destination_mgr destination{};
  std::vector<std::uint8_t> bytes;  // grown as a picture needs
  std::size_t size = 0;             // of the last picture
  std::array<BlockGrid, 3> grids{};
  // The components' blocks, kept from picture to picture: libjpeg's own arrays would be made
  // and freed for each, which costs the system a page fault for every page of them.
  std::array<std::unique_ptr<JBLOCK[]>, 3> blocks;
  std::array<std::vector<JBLOCKROW>, 3> rows;
  std::array<jvirt_barray_ptr, 3> arrays{};  // libjpeg's handles of them: the rows' addresses
  decltype(jpeg_memory_mgr::access_virt_barray) libjpegAccess = nullptr;
  bool made = false;
};

namespace {

using State = JpegWriter::State;

State& StateOf(j_common_ptr compressor) { return *static_cast<State*>(compressor->client_data); }
State& StateOf(j_compress_ptr compressor) { return *static_cast<State*>(compressor->client_data); }

[[noreturn]] void JumpOnError(j_common_ptr compressor) {
  State& state = StateOf(compressor);
  (*compressor->err->format_message)(compressor, state.error);
  std::longjmp(state.jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

void StartBuffer(j_compress_ptr compressor) {
  State& state = StateOf(compressor);
  state.destination.next_output_byte = state.bytes.data();
  state.destination.free_in_buffer = state.bytes.size();
}

// The buffer is full: it doubles, keeping what is in it.
boolean GrowBuffer(j_compress_ptr compressor) {
  State& state = StateOf(compressor);
  const std::size_t used = state.bytes.size();
  try {  // no exception may cross libjpeg's frames
    state.bytes.resize(2 * used);
  } catch (const std::bad_alloc&) {
    compressor->err->msg_code = JERR_OUT_OF_MEMORY;
    (*compressor->err->error_exit)(reinterpret_cast<j_common_ptr>(compressor));
  }
  state.destination.next_output_byte = state.bytes.data() + used;
  state.destination.free_in_buffer = used;
  return TRUE;
}

void EndBuffer(j_compress_ptr compressor) {
  State& state = StateOf(compressor);
  state.size = state.bytes.size() - state.destination.free_in_buffer;
}

int RoundedUp(int value, int multiple) { return (value + multiple - 1) / multiple * multiple; }

// libjpeg reads the coefficients through its memory manager: ours are handed out by their handle.
JBLOCKARRAY AccessBlocks(j_common_ptr compressor, jvirt_barray_ptr array, JDIMENSION start, JDIMENSION count,
                         boolean writable) {
  State& state = StateOf(compressor);
  for (std::size_t component = 0; component < 3; ++component) {
    if (array != state.arrays[component]) continue;
    if (start + count > state.rows[component].size()) {
      compressor->err->msg_code = JERR_BAD_VIRTUAL_ACCESS;
      (*compressor->err->error_exit)(compressor);
    }
    return state.rows[component].data() + start;
  }
  return state.libjpegAccess(compressor, array, start, count, writable);
}

// A unit's blocks past the component's edge are there but never read.
void MakeBlocks(State& state) {
  for (std::size_t component = 0; component < 3; ++component) {
    const BlockGrid& grid = state.grids[component];
    const auto wide = static_cast<std::size_t>(RoundedUp(grid.wide, grid.perUnitWide));
    const auto high = static_cast<std::size_t>(RoundedUp(grid.high, grid.perUnitHigh));
    state.blocks[component].reset(new JBLOCK[wide * high]);
    state.rows[component].resize(high);
    for (std::size_t row = 0; row < high; ++row)
      state.rows[component][row] = state.blocks[component].get() + row * wide;
    state.arrays[component] = reinterpret_cast<jvirt_barray_ptr>(&state.rows[component]);
  }
}

}  // namespace

std::unique_ptr<JpegWriter> JpegWriter::Create(int width, int height, const std::array<BlockGrid, 3>& grids,
                                               const QuantTables& steps) {
  auto state = std::make_unique<State>();
  state->grids = grids;
  MakeBlocks(*state);
  state->bytes.resize(static_cast<std::size_t>(width) * height / 2 + 4096);
  std::unique_ptr<JpegWriter> writer(new JpegWriter(std::move(state)));
  if (!writer->SetUp(width, height, steps)) return nullptr;
  return writer;
}

JpegWriter::JpegWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}

JpegWriter::~JpegWriter() {
  if (m_state->made) jpeg_destroy_compress(&m_state->compressor);
}

bool JpegWriter::SetUp(int width, int height, const QuantTables& steps) {
  State& state = *m_state;
  jpeg_compress_struct& compressor = state.compressor;
  compressor.err = jpeg_std_error(&state.errors);
  state.errors.error_exit = JumpOnError;
  state.errors.output_message = IgnoreMessage;
  compressor.client_data = &state;
  if (setjmp(state.jump)) return false;
  jpeg_create_compress(&compressor);
  state.made = true;
  state.libjpegAccess = compressor.mem->access_virt_barray;
  compressor.mem->access_virt_barray = AccessBlocks;
  state.destination.init_destination = StartBuffer;
  state.destination.empty_output_buffer = GrowBuffer;
  state.destination.term_destination = EndBuffer;
  compressor.dest = &state.destination;
  compressor.image_width = static_cast<JDIMENSION>(width);
  compressor.image_height = static_cast<JDIMENSION>(height);
  compressor.input_components = 3;
  compressor.in_color_space = JCS_YCbCr;
  jpeg_set_defaults(&compressor);
  compressor.optimize_coding = FALSE;
  compressor.comp_info[0].h_samp_factor = state.grids[0].perUnitWide;
  compressor.comp_info[0].v_samp_factor = state.grids[0].perUnitHigh;
  for (int component = 1; component < 3; ++component)
    compressor.comp_info[component].h_samp_factor = compressor.comp_info[component].v_samp_factor = 1;
  unsigned int table[64];
  std::copy(steps.luma.begin(), steps.luma.end(), table);
  jpeg_add_quant_table(&compressor, 0, table, 100, TRUE);
  std::copy(steps.chroma.begin(), steps.chroma.end(), table);
  jpeg_add_quant_table(&compressor, 1, table, 100, TRUE);
  // One table for all when they are alike: each picture stores it once.
  if (steps.chroma == steps.luma)
    for (int component = 1; component < 3; ++component) compressor.comp_info[component].quant_tbl_no = 0;
  return true;
}

std::array<BlockRows, 3> JpegWriter::Blocks() {
  std::array<BlockRows, 3> blocks{};
  for (std::size_t component = 0; component < 3; ++component)
    blocks[component] = reinterpret_cast<BlockRows>(m_state->rows[component].data());
  return blocks;
}

void JpegWriter::SetHuffmanTable(int table, bool dc, const HuffmanTableCodes& codes) {
  jpeg_compress_struct& compressor = m_state->compressor;
  JHUFF_TBL* target = dc ? compressor.dc_huff_tbl_ptrs[table] : compressor.ac_huff_tbl_ptrs[table];
  std::copy(codes.bits.begin(), codes.bits.end(), target->bits);
  std::fill(std::begin(target->huffval), std::end(target->huffval), 0);
  std::copy(codes.values.begin(), codes.values.end(), target->huffval);
}

bool JpegWriter::WritePicture() {
  State& state = *m_state;
  if (setjmp(state.jump)) {
    jpeg_abort_compress(&state.compressor);
    return false;
  }
  jpeg_write_coefficients(&state.compressor, state.arrays.data());
  jpeg_finish_compress(&state.compressor);
  return true;
}

std::span<const std::uint8_t> JpegWriter::Bytes() const { return {m_state->bytes.data(), m_state->size}; }

const char* JpegWriter::Error() const { return m_state->error; }

}  // namespace tovalen::ffmpeg::jpeg
