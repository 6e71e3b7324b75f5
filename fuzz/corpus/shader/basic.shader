textures/base/wall
{
  {
    map textures/base/wall.tga
  }
  animmap 8 textures/sfx/a.tga textures/sfx/b.tga // c
}
textures/sky/space
{
 skyparms env/space 512 -
}
