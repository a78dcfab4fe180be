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

function label(container) {
  const element = document.createElement("div");
  element.className = "view-label";
  container.append(element);
  return element;
}

export class SurfaceViews {
  constructor(container) {
    this.container = container;
    this.grw = vtkGenericRenderWindow.newInstance({ background: BACKGROUND, listenWindowResize: true });
    this.grw.setContainer(container);
    this.window = this.grw.getRenderWindow();
    this.first = this.grw.getRenderer();
    this.second = vtkRenderer.newInstance({ background: BACKGROUND });
    this.second.setActiveCamera(this.first.getActiveCamera());
    this.labels = [label(container), label(container)];
    this.actors = [];
    this.cameraSet = false;
    this.lastSide = null;
    // Until people move the camera themselves, a resized window refits the surfaces.
    this.userMoved = false;
    this.grw.getInteractor().onStartInteraction(() => { this.userMoved = true; });
    this.grw.onResize(() => { if (this.cameraSet && !this.userMoved) this.resetCamera(); });
  }

  setSurface(index, data, lut) {
    if (!this.actors[index]) {
      const actor = vtkActor.newInstance();
      actor.setMapper(vtkMapper.newInstance({ interpolateScalarsBeforeMapping: false }));
      actor.getProperty().setEdgeColor(0.3, 0.32, 0.38);
      this.actors[index] = actor;
    }
    this.actors[index].getMapper().setInputData(data);
    this.actors[index].getMapper().setLookupTable(lut);
  }

  colorBy(key, showEdges) {
    const { location, name } = key ? splitKey(key) : { location: "", name: "" };
    for (const actor of this.actors) {
      if (!actor) continue;
      const mapper = actor.getMapper();
      mapper.setScalarVisibility(Boolean(key));
      if (key) {
        if (location === "cell") mapper.setScalarModeToUseCellFieldData();
        else mapper.setScalarModeToUsePointFieldData();
        mapper.setColorByArrayName(name);
        mapper.setUseLookupTableScalarRange(true);
      }
      actor.getProperty().setColor(0.75, 0.78, 0.82);
      actor.getProperty().setEdgeVisibility(Boolean(showEdges));
    }
  }

  // layout: "side", or the index of the one surface to show.
  show(labelTexts, layout) {
    this.first.removeAllViewProps();
    this.second.removeAllViewProps();
    const present = this.actors.map((a, i) => (a ? i : -1)).filter((i) => i >= 0);
    const side = layout === "side" && present.length >= 2;
    if (side) this.showSideBySide(present, labelTexts);
    else this.showOne(present, labelTexts, layout);
    this.labels[0].hidden = !this.labels[0].textContent;
    this.grw.resize();
    // Refit when the views change shape (one wide view <-> two narrow ones); toggling
    // between surfaces keeps the camera, so both are seen from the same place.
    if ((!this.cameraSet || side !== this.lastSide) && present.length) {
      this.resetCamera();
      this.cameraSet = true;
    }
    this.lastSide = side;
  }

  showSideBySide(present, labelTexts) {
    if (!this.window.hasRenderer(this.second)) this.window.addRenderer(this.second);
    this.first.setViewport(0, 0, 0.5, 1);
    this.second.setViewport(0.5, 0, 1, 1);
    this.first.addActor(this.actors[present[0]]);
    this.second.addActor(this.actors[present[1]]);
    this.labels[0].textContent = labelTexts[present[0]];
    this.labels[1].textContent = labelTexts[present[1]];
    this.labels[0].className = "view-label left";
    this.labels[1].className = "view-label right";
    this.labels[1].hidden = false;
  }

  showOne(present, labelTexts, layout) {
    if (this.window.hasRenderer(this.second)) this.window.removeRenderer(this.second);
    this.first.setViewport(0, 0, 1, 1);
    const index = typeof layout === "number" && this.actors[layout] ? layout : present[0];
    if (index !== undefined) this.first.addActor(this.actors[index]);
    this.labels[0].textContent = index !== undefined ? labelTexts[index] : "";
    this.labels[0].className = "view-label left";
    this.labels[1].hidden = true;
  }

  // Frames every surface, so switching between them keeps the same view.
  resetCamera() {
    const bounds = [Infinity, -Infinity, Infinity, -Infinity, Infinity, -Infinity];
    for (const actor of this.actors) {
      if (!actor) continue;
      const b = actor.getBounds();
      for (let i = 0; i < 6; i += 2) {
        bounds[i] = Math.min(bounds[i], b[i]);
        bounds[i + 1] = Math.max(bounds[i + 1], b[i + 1]);
      }
    }
    if (!Number.isFinite(bounds[0])) return;
    const camera = this.first.getActiveCamera();
    // An oblique view from ahead, outboard (+y, the half-model's outer side) and above.
    camera.setFocalPoint(0, 0, 0);
    camera.setPosition(-1, 1.4, 1.1);
    camera.setViewUp(0, 0, 1);
    this.first.resetCamera(bounds);
    // resetCamera fits the bounds vertically; a view narrower than tall must back off.
    const box = this.container.getBoundingClientRect();
    const viewport = this.first.getViewport();
    const aspect = (box.width * (viewport[2] - viewport[0])) / Math.max(1, box.height * (viewport[3] - viewport[1]));
    if (aspect < 1) camera.zoom(0.95 * aspect);
    this.first.resetCameraClippingRange(bounds);
    this.userMoved = false;
    this.render();
  }

  render() {
    this.window.render();
  }
}
