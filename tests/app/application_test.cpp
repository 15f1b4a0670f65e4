#include "application/application.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/desktop_loop.h"

namespace {

struct Message {
  uint64_t a, b, c;
  bool operator==(const Message&) const = default;
};

class RecordingPeer : public ConnectionPeer {
 public:
  std::vector<Message> received;
  void HandleMessage(uint64_t a, uint64_t b, uint64_t c) override { received.push_back({a, b, c}); }
};

TEST(LocalConnectionTest, EachSideForwardsToItsOwnPeerUnchanged) {
  LocalConnection connection;
  RecordingPeer server, client;
  connection.serverPeer = &server;
  connection.clientPeer = &client;
  ServerConnection* toServer = &connection;
  ClientConnection* toClient = &connection;

  toServer->SendToServer(1, UINT64_C(0x8000000000000000), UINT64_MAX);
  toClient->SendToClient(7, 0, 42);

  EXPECT_EQ(server.received, (std::vector<Message>{{1, UINT64_C(0x8000000000000000), UINT64_MAX}}));
  EXPECT_EQ(client.received, (std::vector<Message>{{7, 0, 42}}));
}

TEST(LocalConnectionTest, MessagesToAMissingPeerAreDropped) {
  LocalConnection connection;  // peers start null
  RecordingPeer client;
  connection.clientPeer = &client;
  connection.SendToServer(1, 2, 3);
  connection.SendToClient(4, 5, 6);
  EXPECT_EQ(client.received, (std::vector<Message>{{4, 5, 6}}));
}

// Where points of the view frustum land in normalised device coordinates.
TEST(DesktopProjectionTest, NinetyDegreesAcrossAndDepthFromNearToFar) {
  for (float aspect : {1280.0f / 720.0f, 1.0f, 0.5f}) {
    SCOPED_TRACE(aspect);
    const Matrix4x4 projection = DesktopProjection(aspect);
    auto ndc = [&](Vec3 p) {
      const Vec4 clip = TransformVec4(projection, p);
      return Vec3{clip.x / clip.w, clip.y / clip.w, clip.z / clip.w};
    };
    // Right edge at 45 degrees, top edge where the aspect puts it; near plane at depth -1.
    const Vec3 nearCorner = ndc({0.1f, 0.1f / aspect, -0.1f});
    EXPECT_NEAR(nearCorner.x, 1.0f, 1e-5f);
    EXPECT_NEAR(nearCorner.y, 1.0f, 1e-5f);
    EXPECT_NEAR(nearCorner.z, -1.0f, 1e-4f);
    const Vec3 farCorner = ndc({-800.0f, -800.0f / aspect, -800.0f});
    EXPECT_NEAR(farCorner.x, -1.0f, 1e-5f);
    EXPECT_NEAR(farCorner.y, -1.0f, 1e-5f);
    EXPECT_NEAR(farCorner.z, 1.0f, 1e-4f);
    // Straight ahead stays centred.
    EXPECT_NEAR(ndc({0, 0, -5}).x, 0.0f, 1e-6f);
  }
}

}  // namespace
