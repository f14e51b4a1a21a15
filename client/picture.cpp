#include "client/picture.h"

#include <optional>
#include <utility>

#include "wire/protocol.h"

namespace ravelo {
namespace {

using Bytes = RaveloClient::Bytes;

bool IsWholeJpeg(const Bytes& b) {
  return b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8 && b[b.size() - 2] == 0xFF &&
         b[b.size() - 1] == 0xD9;
}

Picture FetchOnce(RaveloClient& client, const PictureRequest& request, const FetchLimits& limits) {
  const std::uint8_t ready_type = request.ReadyType();
  const std::uint8_t chunk_type = request.ChunkType();
  Picture picture;
  picture.asks = 1;

  // Leftovers of an earlier, abandoned fetch would otherwise pass for this picture's.
  client.Discard(limits.discard_limit_ms);
  client.SendRaw(request.Message());
  auto is_ready = [&](const Bytes& d) { return d.size() == 2 && d[0] == ready_type; };
  std::optional<Bytes> ready = client.WaitFor(is_ready, limits.ready_timeout_ms);
  if (!ready) return picture;
  picture.status = Picture::kIncomplete;

  std::vector<std::optional<Bytes>> parts;
  int missing = 0;
  auto announced = [&](std::uint8_t count) {
    picture.chunks = count;
    parts.assign(count, std::nullopt);
    missing = count;
  };
  announced((*ready)[1]);
  auto wanted = [&](const Bytes& d) {
    return is_ready(d) || (d[0] == chunk_type && d.size() > wire::kChunkHeader &&
                           d.size() <= wire::kChunkHeader + wire::kChunkSize);
  };
  for (int round = 0; round < limits.rounds && missing > 0; ++round) {
    // All at once: the server answers one per main-loop pass and queues the rest.
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (parts[i]) continue;
      client.SendRaw({chunk_type, static_cast<std::uint8_t>(i)});
      ++picture.requests;
    }
    const std::int64_t deadline = client.NowMs() + limits.chunk_timeout_ms;
    while (missing > 0) {
      std::optional<Bytes> d = client.WaitUntil(wanted, deadline);
      if (!d) break;
      if (is_ready(*d)) {
        // A late answer to an earlier request came first: the server's buffer now holds
        // the picture of this later count, so what came before it may belong to another.
        announced((*d)[1]);
        break;
      }
      const std::size_t index = (*d)[1];
      if (index >= parts.size() || parts[index]) continue;
      const int length = static_cast<int>(d->size()) - wire::kChunkHeader;
      if (index + 1 < parts.size() && length != wire::kChunkSize) {
        picture.flaw = Picture::kChunkSize;
        picture.bad_chunk = static_cast<int>(index);
        picture.bad_size = length;
        return picture;
      }
      parts[index] = Bytes(d->begin() + wire::kChunkHeader, d->end());
      --missing;
    }
  }
  picture.missing = missing;
  if (picture.chunks == 0) {
    picture.flaw = Picture::kNoChunks;
    return picture;
  }
  if (missing > 0) {
    picture.flaw = Picture::kChunksMissing;
    return picture;
  }
  Bytes bytes;
  for (const auto& part : parts) bytes.insert(bytes.end(), part->begin(), part->end());
  if (!IsWholeJpeg(bytes)) {
    picture.flaw = Picture::kNotJpeg;
    return picture;
  }
  picture.bytes = std::move(bytes);
  picture.status = Picture::kComplete;
  return picture;
}

}  // namespace

std::uint8_t PictureRequest::ReadyType() const { return full ? wire::kFullView : wire::kRegionView; }

std::uint8_t PictureRequest::ChunkType() const { return full ? wire::kFullChunk : wire::kRegionChunk; }

std::vector<std::uint8_t> PictureRequest::Message() const {
  return full ? Bytes{ReadyType()} : Bytes{ReadyType(), x, y};
}

Picture FetchPicture(RaveloClient& client, const PictureRequest& request,
                     const FetchLimits& limits) {
  Picture result;
  int requests = 0;
  for (int ask = 1; ask <= limits.asks; ++ask) {
    Picture picture = FetchOnce(client, request, limits);
    requests += picture.requests;
    const bool answered = picture.status != Picture::kNotAnnounced;
    // A repeat that gets no answer leaves what the earlier ask found out.
    if (answered || ask == 1) result = std::move(picture);
    result.asks = ask;
    result.requests = requests;
    // Chunks that stayed away through every round would stay away again; a wrong count
    // or a broken picture is most likely a stale announcement, which a new request settles.
    if (!answered || result.status == Picture::kComplete ||
        result.flaw == Picture::kChunksMissing) {
      break;
    }
  }
  return result;
}

}  // namespace ravelo
