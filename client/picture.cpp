#include "client/picture.h"

#include <optional>

#include "server/protocol.h"

namespace ravelo {

Picture FetchPicture(RaveloClient& client, const PictureRequest& request,
                     const FetchLimits& limits) {
  using Bytes = RaveloClient::Bytes;
  const std::uint8_t ready_type = request.full ? wire::kFullView : wire::kRegionView;
  const std::uint8_t chunk_type = request.full ? wire::kFullChunk : wire::kRegionChunk;
  Picture picture;

  // Leftovers of an earlier, abandoned fetch would otherwise pass for this picture's.
  while (client.Receive(0)) {
  }
  client.SendRaw(request.full ? Bytes{ready_type} : Bytes{ready_type, request.x, request.y});
  auto is_ready = [&](const Bytes& d) { return d.size() >= 2 && d[0] == ready_type; };
  std::optional<Bytes> ready = client.WaitFor(is_ready, limits.ready_timeout_ms);
  if (!ready) return picture;
  picture.chunks = (*ready)[1];

  std::vector<std::optional<Bytes>> parts(static_cast<std::size_t>(picture.chunks));
  int missing = picture.chunks;
  for (int round = 0; round < limits.rounds && missing > 0; ++round) {
    // All at once: the server answers one per main-loop pass and queues the rest.
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (parts[i]) continue;
      client.SendRaw({chunk_type, static_cast<std::uint8_t>(i)});
      ++picture.requests;
    }
    while (missing > 0) {
      // Late chunks of an earlier picture of this view look the same; the index and the
      // count of this one are all that can tell them apart.
      auto is_chunk = [&](const Bytes& d) { return d.size() > 2 && d[0] == chunk_type; };
      std::optional<Bytes> chunk = client.WaitFor(is_chunk, limits.chunk_timeout_ms);
      if (!chunk) break;
      std::size_t index = (*chunk)[1];
      if (index >= parts.size() || parts[index]) continue;
      parts[index] = Bytes(chunk->begin() + wire::kChunkHeader, chunk->end());
      --missing;
    }
  }
  picture.missing = missing;
  if (missing > 0) {
    picture.status = Picture::kIncomplete;
    return picture;
  }
  for (const auto& part : parts) picture.bytes.insert(picture.bytes.end(), part->begin(), part->end());
  picture.status = Picture::kComplete;
  return picture;
}

}  // namespace ravelo
