// The fields a person fills in: each needs a label with words in it, and an
// edge that stands out 3:1 from what surrounds it (WCAG 2.1's contrast for a
// control's boundary), drawn by its border or by its own fill.
const channel = (value) => ((value /= 255) <= 0.04045 ? value / 12.92 : ((value + 0.055) / 1.055) ** 2.4);
const parse = (color) => color.match(/[\d.]+/g).map(Number);
const luminance = (color) => {
  const [r, g, b] = parse(color);
  return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b);
};
const contrast = (a, b) => {
  const [light, dark] = [luminance(a), luminance(b)].sort((x, y) => y - x);
  return (light + 0.05) / (dark + 0.05);
};
const opaque = (color) => parse(color).length === 3 || parse(color)[3] === 1;
const behind = (element) => {
  for (let box = element.parentElement; box; box = box.parentElement) {
    const color = getComputedStyle(box).backgroundColor;
    if (opaque(color)) return color;
  }
  return "rgb(255, 255, 255)";
};
const problems = [];
for (const field of document.querySelectorAll("input:not([type=hidden]),select,textarea")) {
  const name = field.name || field.id;
  if (![...field.labels].some((label) => label.innerText.trim())) problems.push(`the field ${name} has no label`);
  const style = getComputedStyle(field);
  const around = behind(field);
  const edges = [parseFloat(style.borderTopWidth) > 0 && style.borderTopColor, style.backgroundColor];
  const edge = Math.max(1, ...edges.filter((color) => color && opaque(color)).map((color) => contrast(color, around)));
  if (edge < 3) problems.push(`the field ${name} stands out from its surroundings only ${edge.toFixed(2)}:1`);
}
return problems;
