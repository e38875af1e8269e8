// Run in the page at the width it should be laid out at; returns what a
// reader would see broken there, measured from the page's own boxes:
// sideways scrolling, text cut off by the window or by a box that hides its
// overflow, text or fields drawn over one another, and fields without a
// label or without an edge standing out 3:1 from what surrounds them
// (WCAG 2.1's contrast for a control's boundary).
const expected = arguments[0], root = document.documentElement, problems = [];
if (innerWidth !== expected) problems.push(`laid out in a window ${innerWidth} px wide, not ${expected}`);
if (root.scrollWidth > root.clientWidth) problems.push(`scrolls sideways: ${root.scrollWidth} px in ${root.clientWidth}`);

const controls = "input:not([type=hidden]),button,select,textarea", boxes = [];
const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
for (let node = walker.nextNode(); node; node = walker.nextNode()) {
  const range = document.createRange();
  range.selectNodeContents(node);
  for (const rect of range.getClientRects())
    if (rect.width > 0 && rect.height > 0 && node.textContent.trim())
      boxes.push({rect, owner: node.parentElement, name: `"${node.textContent.trim().slice(0, 30)}"`});
}
for (const control of document.querySelectorAll(controls))
  boxes.push({rect: control.getBoundingClientRect(), owner: control, name: `<${control.localName} ${control.name}>`});

const inside = (r, o) => r.left >= o.left - 1 && r.right <= o.right + 1 && r.top >= o.top - 1 && r.bottom <= o.bottom + 1;
const view = {left: 0, right: root.clientWidth, top: -Infinity, bottom: Infinity};
for (const {rect, owner, name} of boxes) {
  if (!inside(rect, view)) problems.push(`${name} runs past the window's edge`);
  for (let box = owner; box && box !== root; box = box.parentElement) {
    const style = getComputedStyle(box);
    const clips = style.overflowX !== "visible" || style.overflowY !== "visible";
    if (clips && !inside(rect, box.getBoundingClientRect())) problems.push(`${name} is cut off by <${box.localName}>`);
  }
}
// A control's own caption lies inside it; everything else must stay apart.
const captionOf = (a, b) => a.owner.matches(controls) && a.owner.contains(b.owner);
boxes.forEach((a, i) => boxes.slice(i + 1).forEach((b) => {
  const across = Math.min(a.rect.right, b.rect.right) - Math.max(a.rect.left, b.rect.left);
  const down = Math.min(a.rect.bottom, b.rect.bottom) - Math.max(a.rect.top, b.rect.top);
  if (across > 1 && down > 1 && !captionOf(a, b) && !captionOf(b, a)) problems.push(`${a.name} and ${b.name} overlap`);
}));

const channel = (v) => ((v /= 255) <= 0.04045 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4);
const parse = (color) => color.match(/[\d.]+/g).map(Number);
const luminance = (color) => [0.2126, 0.7152, 0.0722].reduce((sum, k, i) => sum + k * channel(parse(color)[i]), 0);
const contrast = (a, b) => (Math.max(luminance(a), luminance(b)) + 0.05) / (Math.min(luminance(a), luminance(b)) + 0.05);
const opaque = (color) => parse(color).length === 3 || parse(color)[3] === 1;
for (const field of document.querySelectorAll("input:not([type=hidden]),select,textarea")) {
  const name = field.name || field.id, style = getComputedStyle(field);
  if (![...field.labels].some((label) => label.innerText.trim())) problems.push(`the field ${name} has no label`);
  let around = "rgb(255, 255, 255)";
  for (let box = field.parentElement; box; box = box.parentElement)
    if (opaque(getComputedStyle(box).backgroundColor)) { around = getComputedStyle(box).backgroundColor; break; }
  const edges = [parseFloat(style.borderTopWidth) > 0 && style.borderTopColor, style.backgroundColor];
  const edge = Math.max(1, ...edges.filter((color) => color && opaque(color)).map((color) => contrast(color, around)));
  if (edge < 3) problems.push(`the field ${name} stands out from its surroundings only ${edge.toFixed(2)}:1`);
}
return problems;
