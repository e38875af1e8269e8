// Run in the page with the width it should be laid out at; returns what a
// reader would see broken there: sideways scrolling, text cut off by the
// window or by a box that hides its overflow, and text or fields drawn over
// one another. Measured from the page's own boxes, not from a picture.
const expected = arguments[0];
const root = document.documentElement;
const problems = [];
if (innerWidth !== expected) problems.push(`laid out in a window ${innerWidth} px wide, not ${expected}`);
if (root.scrollWidth > root.clientWidth) problems.push(`scrolls sideways: ${root.scrollWidth} px in ${root.clientWidth}`);

const controls = "input:not([type=hidden]),button,select,textarea";
const boxes = [];
const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
for (let node = walker.nextNode(); node; node = walker.nextNode()) {
  const text = node.textContent.trim();
  if (!text) continue;
  const range = document.createRange();
  range.selectNodeContents(node);
  for (const rect of range.getClientRects())
    if (rect.width > 0 && rect.height > 0) boxes.push({rect, owner: node.parentElement, name: `"${text.slice(0, 30)}"`});
}
for (const control of document.querySelectorAll(controls))
  boxes.push({rect: control.getBoundingClientRect(), owner: control, name: `<${control.localName} ${control.name}>`});

const inside = (rect, outer) =>
  rect.left >= outer.left - 1 && rect.right <= outer.right + 1 && rect.top >= outer.top - 1 && rect.bottom <= outer.bottom + 1;
const clips = (element) => {
  const style = getComputedStyle(element);
  return style.overflowX !== "visible" || style.overflowY !== "visible";
};
const view = {left: 0, right: root.clientWidth, top: -Infinity, bottom: Infinity};
for (const {rect, owner, name} of boxes) {
  if (!inside(rect, view)) problems.push(`${name} runs past the window's edge`);
  for (let box = owner; box && box !== root; box = box.parentElement)
    if (clips(box) && !inside(rect, box.getBoundingClientRect())) problems.push(`${name} is cut off by <${box.localName}>`);
}

// A control's own caption lies inside it; everything else must stay apart.
const captionOf = (a, b) => a.owner.matches(controls) && a.owner.contains(b.owner);
for (let i = 0; i < boxes.length; i++)
  for (let j = i + 1; j < boxes.length; j++) {
    const [a, b] = [boxes[i], boxes[j]];
    if (captionOf(a, b) || captionOf(b, a)) continue;
    const across = Math.min(a.rect.right, b.rect.right) - Math.max(a.rect.left, b.rect.left);
    const down = Math.min(a.rect.bottom, b.rect.bottom) - Math.max(a.rect.top, b.rect.top);
    if (across > 1 && down > 1) problems.push(`${a.name} and ${b.name} overlap`);
  }
return problems;
