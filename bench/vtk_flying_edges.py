#!/usr/bin/python3
"""Times VTK's vtkFlyingEdges3D on a sculpture's field, the peer of re-meshing every block.

Usage: vtk_flying_edges.py GRID [--threads N] [--repetitions N] [--geometry-only]

GRID is what `loomwork-tool grid FILE -o GRID` writes: six 192^3 little-endian int16 channels,
x fastest. The contour is taken on the shape channel at the iso level (half of 32767), with
normals from the gradient and the other five channels interpolated onto the vertices, as the
block extraction does (--geometry-only: points and triangles alone). Prints one JSON line: the median and the fastest of the repetitions.
Needs Debian's python3-vtk9; nothing in the tests uses it.
"""
import argparse
import json
import os
import statistics
import sys
import time

import vtk

SIZE = 192
CHANNELS = 6


def channel_reader(path, channel):
    reader = vtk.vtkImageReader2()
    reader.SetFileName(path)
    reader.SetFileDimensionality(3)
    reader.SetDataScalarTypeToShort()
    reader.SetDataByteOrderToLittleEndian()
    reader.SetNumberOfScalarComponents(1)
    reader.SetDataExtent(0, SIZE - 1, 0, SIZE - 1, 0, SIZE - 1)
    reader.SetHeaderSize(channel * SIZE * SIZE * SIZE * 2)
    return reader


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("grid")
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--repetitions", type=int, default=9)
    parser.add_argument("--geometry-only", action="store_true")
    args = parser.parse_args()

    # vtkSMPTools.Initialize crashes with Debian's TBB backend; the environment sets the team.
    if os.environ.get("VTK_SMP_MAX_THREADS") != str(args.threads):
        os.environ["VTK_SMP_MAX_THREADS"] = str(args.threads)
        os.execv(sys.executable, [sys.executable] + sys.argv)
    append = vtk.vtkImageAppendComponents()
    # An output port does not keep its reader alive.
    readers = [channel_reader(args.grid, channel) for channel in range(CHANNELS)]
    for reader in readers:
        append.AddInputConnection(reader.GetOutputPort())
    append.Update()
    field = vtk.vtkImageData()
    field.DeepCopy(append.GetOutput())

    contour = vtk.vtkFlyingEdges3D()
    contour.SetInputData(field)
    contour.SetArrayComponent(0)
    contour.SetValue(0, 0.5 * 32767.0)
    contour.SetComputeNormals(not args.geometry_only)
    contour.ComputeGradientsOff()
    contour.ComputeScalarsOff()
    contour.SetInterpolateAttributes(not args.geometry_only)

    seconds = []
    for _ in range(args.repetitions + 1):
        contour.Modified()
        start = time.perf_counter()
        contour.Update()
        seconds.append(time.perf_counter() - start)
    seconds = seconds[1:]  # the first run also allocates its output
    output = contour.GetOutput()
    print(json.dumps({
        "backend": vtk.vtkSMPTools.GetBackend(),
        "geometry_only": args.geometry_only,
        "threads": vtk.vtkSMPTools.GetEstimatedNumberOfThreads(),
        "points": output.GetNumberOfPoints(),
        "triangles": output.GetNumberOfCells(),
        "median_ms": round(statistics.median(seconds) * 1000.0, 3),
        "min_ms": round(min(seconds) * 1000.0, 3),
    }))


if __name__ == "__main__":
    main()
