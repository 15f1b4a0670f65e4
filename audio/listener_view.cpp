#include "audio/listener_view.h"

#include "audio/mixer3d.h"

namespace Audio {

Matrix4x4 SetListenerFromView(Mixer3D& mixer, Vec3 cameraOffset, const Matrix4x4& headView) {
  const Matrix4x4 view = Matrix4x4::Translation(Vec3{} - cameraOffset) * headView;
  mixer.SetListener(view);
  return view;
}

}  // namespace Audio
