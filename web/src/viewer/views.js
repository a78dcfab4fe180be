// The render window: one renderer per shown surface, sharing one camera, so rotating,
// zooming or panning either view moves both. Two layouts with two surfaces: side by side,
// or one at a time (toggle).
import "@kitware/vtk.js/Rendering/Profiles/Geometry";
import vtkGenericRenderWindow from "@kitware/vtk.js/Rendering/Misc/GenericRenderWindow";
import vtkRenderer from "@kitware/vtk.js/Rendering/Core/Renderer";
import vtkActor from "@kitware/vtk.js/Rendering/Core/Actor";
import vtkMapper from "@kitware/vtk.js/Rendering/Core/Mapper";
import { splitKey } from "./quantities";

const BACKGROUND = [0.97, 0.975, 0.98];

export function createViews(container) {
  const grw = vtkGenericRenderWindow.newInstance({ background: BACKGROUND, listenWindowResize: true });
  grw.setContainer(container);
  const window = grw.getRenderWindow();
  const first = grw.getRenderer();
  const second = vtkRenderer.newInstance({ background: BACKGROUND });
  second.setActiveCamera(first.getActiveCamera());
  const labels = [0, 1].map(() => {
    const label = document.createElement("div");
    label.className = "view-label";
    container.append(label);
    return label;
  });
  const actors = [];
  let cameraSet = false;
  let lastSide = null;
  // Until people move the camera themselves, a resized window refits the surfaces.
  let userMoved = false;
  grw.getInteractor().onStartInteraction(() => { userMoved = true; });
  grw.onResize(() => { if (cameraSet && !userMoved) resetCamera(); });

  function actorFor(index, data, lut) {
    if (!actors[index]) {
      const mapper = vtkMapper.newInstance({ interpolateScalarsBeforeMapping: false });
      const actor = vtkActor.newInstance();
      actor.setMapper(mapper);
      actor.getProperty().setEdgeColor(0.2, 0.2, 0.25);
      actors[index] = actor;
    }
    actors[index].getMapper().setInputData(data);
    actors[index].getMapper().setLookupTable(lut);
    return actors[index];
  }

  function colorBy(key, showEdges) {
    for (const actor of actors) {
      if (!actor) continue;
      const mapper = actor.getMapper();
      const { location, name } = key ? splitKey(key) : { location: "", name: "" };
      mapper.setScalarVisibility(Boolean(key));
      if (key) {
        mapper.setScalarModeToUsePointFieldData();
        if (location === "cell") mapper.setScalarModeToUseCellFieldData();
        mapper.setColorByArrayName(name);
        mapper.setUseLookupTableScalarRange(true);
      }
      actor.getProperty().setColor(0.75, 0.78, 0.82);
      actor.getProperty().setEdgeVisibility(Boolean(showEdges));
    }
  }

  // layout: "side" or the index of the one surface to show.
  function show(labelsText, layout) {
    first.removeAllViewProps();
    second.removeAllViewProps();
    const present = actors.map((a, i) => (a ? i : -1)).filter((i) => i >= 0);
    const side = layout === "side" && present.length >= 2;
    if (side) {
      if (!window.hasRenderer(second)) window.addRenderer(second);
      first.setViewport(0, 0, 0.5, 1);
      second.setViewport(0.5, 0, 1, 1);
      first.addActor(actors[present[0]]);
      second.addActor(actors[present[1]]);
      labels[0].textContent = labelsText[present[0]];
      labels[1].textContent = labelsText[present[1]];
      labels[0].className = "view-label left";
      labels[1].className = "view-label right";
      labels[1].hidden = false;
    } else {
      if (window.hasRenderer(second)) window.removeRenderer(second);
      first.setViewport(0, 0, 1, 1);
      const index = typeof layout === "number" && actors[layout] ? layout : present[0];
      if (index !== undefined) first.addActor(actors[index]);
      labels[0].textContent = index !== undefined ? labelsText[index] : "";
      labels[0].className = "view-label left";
      labels[1].hidden = true;
    }
    labels[0].hidden = !labels[0].textContent;
    grw.resize();
    // Refit when the views change shape (one wide view <-> two narrow ones); toggling
    // between surfaces keeps the camera, so both are seen from the same place.
    if ((!cameraSet || side !== lastSide) && present.length) {
      resetCamera();
      cameraSet = true;
    }
    lastSide = side;
  }

  function resetCamera() {
    // Frame every surface, so switching between them keeps the same view.
    const camera = first.getActiveCamera();
    const bounds = [Infinity, -Infinity, Infinity, -Infinity, Infinity, -Infinity];
    for (const actor of actors) {
      if (!actor) continue;
      const b = actor.getBounds();
      for (let i = 0; i < 6; i += 2) {
        bounds[i] = Math.min(bounds[i], b[i]);
        bounds[i + 1] = Math.max(bounds[i + 1], b[i + 1]);
      }
    }
    if (!Number.isFinite(bounds[0])) return;
    // An oblique view from ahead, outboard (+y, the half-model's outer side) and above.
    camera.setFocalPoint(0, 0, 0);
    camera.setPosition(-1, 1.4, 1.1);
    camera.setViewUp(0, 0, 1);
    first.resetCamera(bounds);
    // resetCamera fits the bounds vertically; a view narrower than tall must back off.
    const box = container.getBoundingClientRect();
    const viewport = first.getViewport();
    const aspect = (box.width * (viewport[2] - viewport[0])) / Math.max(1, box.height * (viewport[3] - viewport[1]));
    if (aspect < 1) camera.zoom(0.95 * aspect);
    first.resetCameraClippingRange(bounds);
    userMoved = false;
    render();
  }

  function render() {
    window.render();
  }

  return { actorFor, colorBy, show, resetCamera, render, canvasContainer: container };
}
