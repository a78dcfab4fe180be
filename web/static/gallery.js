// Keeps the gallery page in step with the case: figures that get written (or rewritten)
// appear without a reload, and a click enlarges a figure.
(function () {
  "use strict";
  const STATUS_URL = "/__orvanta/status";
  const POLL_MS = 2000;
  const cards = Array.from(document.querySelectorAll("#figures .card"));
  const shown = cards.map(() => ({ exists: null, mtime: null }));
  let figures = [];
  let banner = null;

  function setBanner(text) {
    if (!text) { if (banner) banner.remove(); banner = null; return; }
    if (!banner) {
      banner = document.createElement("p");
      banner.className = "banner";
      document.querySelector("header").after(banner);
    }
    banner.textContent = text;
  }

  function placeholder(figure) {
    const box = document.createElement("div");
    box.className = "frame placeholder";
    const mark = document.createElement("span");
    mark.className = "mark";
    mark.textContent = "Not written yet";
    const code = document.createElement("code");
    code.textContent = figure.path;
    box.append(mark, code);
    return box;
  }

  function picture(figure, index) {
    const link = document.createElement("a");
    link.className = "frame";
    link.href = figure.url;
    link.target = "_blank";
    const img = document.createElement("img");
    img.src = figure.url + "?v=" + figure.mtime;
    img.alt = figure.title;
    link.append(img);
    link.addEventListener("click", (e) => { e.preventDefault(); openLightbox(index); });
    return link;
  }

  function render(index, figure) {
    const card = cards[index];
    if (!card) return;
    const state = shown[index];
    if (state.exists === figure.exists && state.mtime === figure.mtime) return;
    state.exists = figure.exists;
    state.mtime = figure.mtime;
    // Marks a figure that was written while the page was open (people and tests can tell).
    if (figure.exists && card.classList.contains("missing")) card.dataset.appeared = "true";
    card.classList.toggle("present", figure.exists);
    card.classList.toggle("missing", !figure.exists);
    card.querySelector(".frame").replaceWith(figure.exists ? picture(figure, index) : placeholder(figure));
  }

  let deepLinkDone = false;

  function update(status) {
    figures = status.figures || [];
    // A link ending in #<figure path> opens that figure enlarged.
    if (!deepLinkDone) {
      deepLinkDone = true;
      const wanted = decodeURIComponent(location.hash.slice(1));
      const index = figures.findIndex((f) => f.path === wanted);
      if (index >= 0) setTimeout(() => openLightbox(index), 0);
    }
    figures.forEach((f, i) => render(i, f));
    const summary = document.getElementById("summary");
    if (summary) summary.textContent = status.present + " of " + figures.length + " figures written";
    const missing = figures.length - status.present;
    document.title = document.title.replace(/^\(\d+ missing\) /, "");
    if (missing > 0) document.title = "(" + missing + " missing) " + document.title;
  }

  async function poll() {
    try {
      const res = await fetch(STATUS_URL, { cache: "no-store" });
      if (!res.ok) throw new Error("status " + res.status);
      update(await res.json());
      setBanner("");
    } catch (err) {
      setBanner("The gallery server is not answering; the figures shown may be out of date.");
    }
    setTimeout(poll, POLL_MS);
  }

  // Enlarged view: one overlay, arrow keys step through the figures that exist.
  const box = document.createElement("div");
  box.id = "lightbox";
  box.hidden = true;
  const big = document.createElement("img");
  const caption = document.createElement("div");
  caption.className = "caption";
  const prev = document.createElement("button");
  prev.className = "prev";
  prev.textContent = "\u2039";
  const next = document.createElement("button");
  next.className = "next";
  next.textContent = "\u203a";
  box.append(big, caption, prev, next);
  document.body.append(box);
  let current = -1;

  function openLightbox(index) {
    const f = figures[index];
    if (!f || !f.exists) return;
    current = index;
    big.src = f.url + "?v=" + f.mtime;
    big.alt = f.title;
    caption.textContent = f.title + " ";
    const original = document.createElement("a");
    original.href = f.url;
    original.target = "_blank";
    original.textContent = "open original";
    caption.append(original);
    box.hidden = false;
    history.replaceState(null, "", "#" + encodeURIComponent(f.path));
  }

  function closeLightbox() {
    box.hidden = true;
    history.replaceState(null, "", location.pathname);
  }

  function step(delta) {
    for (let k = 1; k <= figures.length; k++) {
      const i = (current + delta * k + figures.length * k) % figures.length;
      if (figures[i] && figures[i].exists) { openLightbox(i); return; }
    }
  }

  box.addEventListener("click", (e) => { if (e.target === box || e.target === big) closeLightbox(); });
  prev.addEventListener("click", (e) => { e.stopPropagation(); step(-1); });
  next.addEventListener("click", (e) => { e.stopPropagation(); step(1); });
  document.addEventListener("keydown", (e) => {
    if (box.hidden) return;
    if (e.key === "Escape") closeLightbox();
    if (e.key === "ArrowLeft") step(-1);
    if (e.key === "ArrowRight") step(1);
  });
  cards.forEach((card, i) => {
    const frame = card.querySelector("a.frame");
    if (frame) frame.addEventListener("click", (e) => { e.preventDefault(); openLightbox(i); });
  });

  poll();
})();
